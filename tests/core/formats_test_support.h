#pragma once
// Shared by the frame-reader tests: the fixture files, a small reader of
// their JSON sidecars, and running a reader on bytes.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "formats/frame_readers.h"
#include "workspace/text_files.h"

namespace orv::testing {

inline std::string FixturePath(const std::string& name) { return std::string(ORV_TEST_DATA) + "/formats/" + name; }
inline std::string FixtureBytes(const std::string& name) { return ReadWholeFile(FixturePath(name)); }

// Just enough JSON for the sidecars: objects, arrays, strings, numbers
// (kept as text, so 64-bit integers stay exact), true, false, null.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    std::string text;   // number or string
    bool flag = false;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const {
        auto it = fields.find(key);
        if (it == fields.end()) throw std::runtime_error("no field " + key);
        return it->second;
    }
    const Json& operator[](size_t i) const { return items.at(i); }
    bool has(const std::string& key) const { return fields.count(key) != 0; }
    int64_t integer() const { return std::stoll(text); }
    double number() const { return std::stod(text); }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& s) : s_(s) {}
    Json parse() {
        Json v = value();
        return v;
    }

private:
    void skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    char peek() {
        skip();
        if (pos_ >= s_.size()) throw std::runtime_error("JSON ends early");
        return s_[pos_];
    }
    void expect(char c) {
        if (peek() != c) throw std::runtime_error(std::string("JSON: expected ") + c);
        ++pos_;
    }
    std::string string() {
        expect('"');
        std::string out;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            if (s_[pos_] == '\\') {
                ++pos_;
                const char e = s_.at(pos_);
                out += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == 'u' ? '?' : e;
                if (e == 'u') pos_ += 4;
            } else {
                out += s_[pos_];
            }
            ++pos_;
        }
        ++pos_;
        return out;
    }
    Json value() {
        Json v;
        const char c = peek();
        if (c == '{') {
            v.kind = Json::Object;
            ++pos_;
            if (peek() == '}') return ++pos_, v;
            for (;;) {
                std::string key = string();
                expect(':');
                v.fields[key] = value();
                if (peek() == ',') { ++pos_; continue; }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = Json::Array;
            ++pos_;
            if (peek() == ']') return ++pos_, v;
            for (;;) {
                v.items.push_back(value());
                if (peek() == ',') { ++pos_; continue; }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = Json::String;
            v.text = string();
            return v;
        }
        const size_t start = pos_;
        while (pos_ < s_.size() && std::string_view(",]} \n\r\t").find(s_[pos_]) == std::string_view::npos) ++pos_;
        v.text = s_.substr(start, pos_ - start);
        if (v.text == "true" || v.text == "false") v.kind = Json::Bool, v.flag = v.text == "true";
        else if (v.text == "null") v.kind = Json::Null;
        else v.kind = Json::Number;
        return v;
    }
    const std::string& s_;
    size_t pos_ = 0;
};

inline Json Sidecar(const std::string& name) {
    const std::string text = FixtureBytes(name + ".json");
    return JsonParser(text).parse();
}

// Runs one reader on bytes as the given chain would, without the settings
// step (tests of the step go through RunReaderChain).
struct ReaderRun {
    ReadOutcome Outcome = ReadOutcome::NotMine;
    NewFrame Frame;
};
inline ReaderRun RunReader(ReaderFunction reader, const std::string& bytes, const std::string& path = "frame.dat",
                           ReaderChain chain = ReaderChain::Load, const TForm32& form32 = TForm32{},
                           const TFSetup& setup = TFSetup{}, const TForm20& form20 = TForm20{}) {
    ReaderContext context;
    context.Chain = chain;
    context.Bytes = bytes;
    context.Form32 = form32;
    context.FSetup = setup;
    context.Form20 = form20;
    ReaderRun run;
    run.Outcome = reader(context, path, run.Frame);
    return run;
}

// Where stored pixel (row, column), both from 0, lands in the frame.
struct FramePosition {
    int32_t X, Y;
};
using StorageMap = FramePosition (*)(int32_t row, int32_t col, int32_t width, int32_t height);
inline FramePosition SameOrder(int32_t row, int32_t col, int32_t, int32_t) { return {col + 1, row + 1}; }
inline FramePosition UpsideDown(int32_t row, int32_t col, int32_t, int32_t height) { return {col + 1, height - row}; }
// Line r fills column r, its k-th number row width + 1 - k.
inline FramePosition QuarterTurn(int32_t row, int32_t col, int32_t width, int32_t) { return {row + 1, width - col}; }

// The sidecar's pixel checks: sum, weighted sum mod 2^61 and samples.
inline void ExpectPixelChecks(const NewFrame& frame, const Json& sidecar, StorageMap map) {
    const int32_t w = static_cast<int32_t>(sidecar["width"].integer());
    const int32_t h = static_cast<int32_t>(sidecar["height"].integer());
    const Json& checks = sidecar["pixel_checks"];
    int64_t sum = 0;
    const unsigned __int128 mod = static_cast<unsigned __int128>(1) << 61;
    __int128 weighted = 0;
    for (int32_t r = 0; r < h; ++r)
        for (int32_t c = 0; c < w; ++c) {
            const FramePosition p = map(r, c, w, h);
            const int64_t v = frame.Intensity[p.X][p.Y];
            sum += v;
            weighted += static_cast<__int128>(v) * (static_cast<int64_t>(r) * w + c + 1);
        }
    __int128 reduced = weighted % static_cast<__int128>(mod);
    if (reduced < 0) reduced += static_cast<__int128>(mod);
    EXPECT_EQ(sum, checks["sum"].integer());
    EXPECT_EQ(static_cast<int64_t>(reduced), checks["weighted_sum_mod_2_61"].integer());
    for (const Json& s : checks["samples"].items) {
        const FramePosition p = map(static_cast<int32_t>(s["stored_row"].integer()),
                                    static_cast<int32_t>(s["column"].integer()), w, h);
        EXPECT_EQ(frame.Intensity[p.X][p.Y], s["value"].integer())
            << "stored row " << s["stored_row"].text << " column " << s["column"].text;
    }
}

// Every frame pixel against a source image in storage order.
template <typename Image>
void ExpectImage(const NewFrame& frame, const Image& source, StorageMap map) {
    int mismatches = 0;
    for (int32_t r = 0; r < source.Height; ++r)
        for (int32_t c = 0; c < source.Width; ++c) {
            const FramePosition p = map(r, c, source.Width, source.Height);
            if (frame.Intensity[p.X][p.Y] != source.at(r, c) && ++mismatches <= 5)
                ADD_FAILURE() << "stored row " << r << " column " << c << ": "
                              << frame.Intensity[p.X][p.Y] << " != " << source.at(r, c);
        }
    EXPECT_EQ(mismatches, 0);
}

} // namespace orv::testing
