#pragma once
// Exceptions of the chart and fitting components. Callers catch EVemoError
// (or std::runtime_error) and show what() to the user.

#include <stdexcept>
#include <string>

namespace orv {

class EVemoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EVemoVectorError : public EVemoError {
public:
    using EVemoError::EVemoError;
};

class EVemoMatrixError : public EVemoError {
public:
    using EVemoError::EVemoError;
};

class EVemoMath2Error : public EVemoError {
public:
    using EVemoError::EVemoError;
};

class EVemoRChartError : public EVemoError {
public:
    using EVemoError::EVemoError;
};

} // namespace orv
