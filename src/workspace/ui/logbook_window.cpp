#include "workspace/ui/logbook_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "workspace/frame_tools.h"
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
    // Keys never type into the logbook: a tool key pressed while it has the
    // focus goes to the tools, as it does over the frame. The lines can still
    // be edited through the Edit menu (Cut, Paste).
    memo_->setReadOnly(true);
    memo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memo_->installEventFilter(this);

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
    connect(cut, &QAction::triggered, this, [this] { editMemo(&QPlainTextEdit::cut); });
    connect(paste, &QAction::triggered, this, [this] { editMemo(&QPlainTextEdit::paste); });
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
    // The memo follows new lines unless the user has scrolled up to read
    // (a memo not shown yet follows).
    QScrollBar* bar = memo_->verticalScrollBar();
    const bool follow = memo_->isVisible() ? bar->value() >= bar->maximum() : following_;
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
    following_ = follow;
    bar->setValue(follow ? bar->maximum() : kept);
}

void TForm11Window::showLastLine() {
    QScrollBar* bar = memo_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TForm11Window::editMemo(void (QPlainTextEdit::*edit)()) {
    memo_->setReadOnly(false);
    (memo_->*edit)();
    memo_->setReadOnly(true);
    memo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

bool TForm11Window::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The keys the tools hold (A, S, C, Z) go to them, not to the memo.
        if (IsToolKey(key->key()) && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (event->type() == QEvent::KeyPress)
                FrameKeyDown(ws_, key->key());
            else if (!key->isAutoRepeat())
                FrameKeyUp(ws_, key->key());
            host_.changed(View::Sector);
            return true;
        }
    }
    return RecordWindow::eventFilter(watched, event);
}

void TForm11Window::memoEdited() {
    const QString text = memo_->toPlainText();
    std::vector<std::string> lines;
    if (!text.isEmpty())
        for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
    ws_.LLog.ReplaceFirst(shown_, lines);
    shown_ = lines.size();
}

bool TForm11Window::SaveLogbook() { return saveLogbookAs(std::string()); }

bool TForm11Window::saveLogbookAs(const std::string& title) {
    const std::optional<std::string> typed =
        host_.askSaveFileNameTitled(title, std::string(), "Logbook files (*.log)|*.LOG|All files (*.*)|*.*");
    if (!typed) return false;
    return run([&] {
        const std::string path = LogbookFileNameFromDialog(*typed);
        RefuseFrameOverwrite(ws_, path);
        ws_.LLog.SaveToFile(path);
    });
}

bool TForm11Window::closingProgram() {
    if (!LogbookSaveOnExit(ws_.LLog.Count(), ws_.ScriptLoaded != 0)) return true;
    // Leaving loses the logbook unless it is saved: the user decides, and
    // may also stay.
    switch (host_.askYesNoCancel("Save the logbook (" + std::to_string(ws_.LLog.Count()) +
                                 " lines) before leaving Orvantide?")) {
    case QtHost::Answer::No: return true;
    case QtHost::Answer::Cancel: return false;
    case QtHost::Answer::Yes: break;
    }
    // A cancelled dialog, or a file that could not be written, keeps the
    // program open.
    return saveLogbookAs("Save the logbook before leaving Orvantide");
}

void TForm11Window::showEvent(QShowEvent* event) {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s && s->geometry().height() > 900) resize(width(), 230);
    // Lines that came while the window was hidden: the memo opens at the
    // newest once it has laid them out at its new size (while it is being
    // shown, its scroll range is not yet that of its new size).
    const bool follow = following_;
    RecordWindow::showEvent(event);
    following_ = follow;
    if (following_) {
        showLastLine();
        QTimer::singleShot(0, this, [this] {
            if (following_) showLastLine();
        });
    }
}

} // namespace orv
