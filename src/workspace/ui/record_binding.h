#pragma once
// Binds the widgets of a settings window to the members of its core record.
// The widget never keeps a value of its own: an edit writes the record at
// once, and refresh() shows the record again after the core changed it.

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <functional>
#include <string>
#include <vector>

namespace orv {

class RecordBinding {
public:
    // An edit box showing `member`; its object name is the component's name.
    QLineEdit* edit(QWidget* parent, const char* name, std::string& member);
    // A check box or radio button showing `member`.
    QCheckBox* check(QWidget* parent, const char* name, const QString& caption, bool& member);
    QRadioButton* radio(QWidget* parent, const char* name, const QString& caption, bool& member);
    // Puts the widgets back in step with the record.
    void refresh();

private:
    std::vector<std::function<void()>> refreshers_;
};

} // namespace orv
