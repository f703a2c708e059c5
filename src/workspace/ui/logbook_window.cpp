#include "workspace/ui/logbook_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "workspace/logbook.h"
#include "workspace/run_report.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

QString JoinLines(const std::vector<std::string>& lines, size_t from) {
    QStringList out;
    for (size_t i = from; i < lines.size(); ++i) out << QString::fromStdString(lines[i]);
    return out.join('\n');
}

QAction* MenuAction(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(name);
    return a;
}

} // namespace

TForm11Window::TForm11Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm11", "Logbook", {View::Logbook}, parent) {
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("LLog");
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu("File");
    QAction* save = MenuAction(file, "SaveLogbook1", "SaveLogbook");
    QAction* close = MenuAction(file, "Close1", "Close");
    QMenu* edit = bar->addMenu("Edit");
    QAction* copy = MenuAction(edit, "Copy1", "Copy");
    QAction* cut = MenuAction(edit, "Cut1", "Cut");
    QAction* paste = MenuAction(edit, "Paste1", "Paste");
    QAction* selectAll = MenuAction(edit, "SelectAll1", "Select All");

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setMenuBar(bar);
    top->addWidget(memo_);
    resize(640, 230);

    connect(save, &QAction::triggered, this, [this] { SaveLogbook(); });
    connect(close, &QAction::triggered, this, &QWidget::hide);
    connect(copy, &QAction::triggered, memo_, &QPlainTextEdit::copy);
    connect(cut, &QAction::triggered, memo_, &QPlainTextEdit::cut);
    connect(paste, &QAction::triggered, memo_, &QPlainTextEdit::paste);
    connect(selectAll, &QAction::triggered, memo_, &QPlainTextEdit::selectAll);
    connect(memo_, &QPlainTextEdit::textChanged, this, &TForm11Window::memoEdited);
    refresh();
}

void TForm11Window::refresh() {
    const std::vector<std::string> lines = ws_.LLog.Lines();
    const QTextDocument* doc = memo_->document();
    // Lines are only ever appended, except by the user in this memo: when the
    // memo still ends with the last line it showed, only the new lines are
    // added, so the user's cursor and scroll position stay.
    const bool onlyAppended = shown_ > 0 && shown_ <= lines.size() && !doc->isEmpty() &&
                              static_cast<size_t>(doc->blockCount()) == shown_ &&
                              doc->lastBlock().text() == QString::fromStdString(lines[shown_ - 1]);
    // The memo follows new lines unless the user has scrolled up to read.
    QScrollBar* bar = memo_->verticalScrollBar();
    const bool follow = bar->value() >= bar->maximum();
    const int kept = bar->value();
    QSignalBlocker block(memo_);
    if (onlyAppended) {
        for (size_t i = shown_; i < lines.size(); ++i) memo_->appendPlainText(QString::fromStdString(lines[i]));
    } else if (doc->isEmpty() && lines.empty()) {
        // nothing to show
    } else {
        memo_->setPlainText(JoinLines(lines, 0));
    }
    shown_ = lines.size();
    bar->setValue(follow ? bar->maximum() : kept);
}

void TForm11Window::memoEdited() {
    const QString text = memo_->toPlainText();
    std::vector<std::string> lines;
    if (!text.isEmpty())
        for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
    ws_.LLog.ReplaceFirst(shown_, lines);
    shown_ = lines.size();
}

bool TForm11Window::SaveLogbook() {
    const std::optional<std::string> typed =
        host_.askSaveFileName(std::string(), "Logbook files (*.log)|*.LOG|All files (*.*)|*.*");
    if (!typed) return false;
    return run([&] {
        const std::string path = LogbookFileNameFromDialog(*typed);
        RefuseFrameOverwrite(ws_, path);
        ws_.LLog.SaveToFile(path);
    });
}

bool TForm11Window::closingProgram() {
    if (!LogbookSaveOnExit(ws_.LLog.Count(), ws_.ScriptLoaded != 0)) return false;
    return SaveLogbook();
}

void TForm11Window::showEvent(QShowEvent* event) {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s && s->geometry().height() > 900) resize(width(), 230);
    RecordWindow::showEvent(event);
}

} // namespace orv
