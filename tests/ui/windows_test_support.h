#pragma once
// Helpers for the window tests: a host that answers without a user, and
// typing and clicking through real Qt events.

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "workspace/ui/qt_host.h"

namespace orv::test {

class TestHost : public QtHost {
public:
    std::optional<std::string> askSaveFileName(const std::string& proposed, const std::string& filter) override {
        saveRequests.push_back({proposed, filter});
        saveTitles.push_back(dialogTitle().toStdString());
        return saveAnswer;
    }

    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::string>> saveRequests;   // proposed name, filter
    std::vector<std::string> saveTitles;   // the dialogs' captions
    std::optional<std::string> saveAnswer;
    bool yes = true;
    std::vector<std::string> questions;   // the Yes / No / Cancel questions asked
    Answer answer = Answer::Yes;

protected:
    void showMessage(const QString& text) override { messages.push_back(text.toStdString()); }
    bool askYesNo(const QString&) override { return yes; }
    Answer askYesNoCancelBox(const QString& text) override {
        questions.push_back(text.toStdString());
        return answer;
    }
};

inline void SendKey(QWidget* w, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &release);
}

// Replaces the box's text as a user would: select all, then type.
inline void Type(QLineEdit* e, const QString& text) {
    e->selectAll();
    if (text.isEmpty()) SendKey(e, Qt::Key_Backspace, QString());
    for (QChar c : text) SendKey(e, 0, QString(c));
}

inline void Click(QWidget* w, QPoint at) {
    const QPointF local(at);
    const QPointF global = w->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// A child found by its component name; a missing one fails the test.
template <class T>
T* Find(QWidget* window, const char* name) {
    T* w = window->findChild<T*>(name);
    if (!w) throw std::runtime_error(std::string("no component ") + name);
    return w;
}

// Shows the window, clicks the button and checks that the window went away.
inline void ExpectButtonHides(QWidget* window, const char* button) {
    window->show();
    Find<QAbstractButton>(window, button)->click();
    EXPECT_FALSE(window->isVisible()) << button;
}

// The label standing next to a box (its buddy), or an empty text.
inline QString LabelOf(QWidget* window, QWidget* box) {
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->buddy() == box) return l->text();
    return QString();
}

} // namespace orv::test
