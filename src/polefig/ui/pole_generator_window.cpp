#include "polefig/ui/pole_generator_window.h"

#include <algorithm>

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <QVBoxLayout>

#include "polefig/pole_viewer.h"
#include "polefig/pole_worker.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

namespace {

QLineEdit* Sized(QLineEdit* e, int width = 80) {
    e->setFixedWidth(width);
    return e;
}

QString MemoText(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) out << QString::fromStdString(line);
    return out.join('\n');
}

} // namespace

TForm16Window::TForm16Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm16", "PoleFigure Generator", {View::Settings, View::Progress, View::PoleFigures},
                   parent) {
    TForm16& f = ws.Form16;
    RecordBinding& b = binding_;
    if (ws.FPoleF.Preview.Width == 0) ws.FPoleF.Preview.Reset(PolePreviewPlotSize + 3, PolePreviewPlotSize + 3);

    // ---- the frames
    auto* frames = new QVBoxLayout;
    auto* files = Button(this, "Files", "SELECT FRAMES");
    connect(files, &QPushButton::clicked, this, [this] { run([this] { FilesClick(ws_, host_); }); });
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo1");
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setMinimumWidth(220);
    connect(memo_, &QPlainTextEdit::textChanged, this, [this] {
        // Kept line for line (blank lines name no frame and are passed over).
        std::vector<std::string> lines;
        const QString text = memo_->toPlainText();
        if (!text.isEmpty())
            for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
        ws_.Form16.Memo1 = std::move(lines);
    });
    QGridLayout* g = nullptr;
    auto* where = Group(this, "Frames", g);
    Row(g, "Folder", b.edit(where, "Edit1", f.Edit1));
    Row(g, "Number", Sized(b.edit(where, "Edit2", f.Edit2), 60));
    frames->addWidget(files);
    frames->addWidget(memo_, 1);
    frames->addWidget(where);

    // ---- the windows, the grid and the output
    auto* settings = new QVBoxLayout;
    auto* reflection = Group(this, "Reflection 2Theta (deg.)", g);
    Row(g, "From, to", Sized(b.edit(reflection, "Edit3", f.Edit3)), Sized(b.edit(reflection, "edit4", f.edit4)));
    auto* background = Group(this, "Background 2Theta (deg.)", g);
    Row(g, "From, to", Sized(b.edit(background, "Edit6", f.Edit6)), Sized(b.edit(background, "Edit7", f.Edit7)));
    auto* choices = new QHBoxLayout;
    choices->addWidget(b.check(background, "CheckBox1", "Apply", f.CheckBox1));
    choices->addWidget(b.check(background, "cbratio", "Ratio", f.cbratio));
    choices->addStretch(1);
    g->addLayout(choices, g->rowCount(), 1, 1, 2);
    auto* grid = Group(this, "Pole figure", g);
    QLineEdit* axis = Sized(b.edit(grid, "EPhiAxis", f.EPhiAxis));
    axis->setEnabled(false);
    Row(g, "Phi axis (deg.)", axis);
    Row(g, "Psi step (deg.)", Sized(b.edit(grid, "Eincps", f.Eincps)));
    Row(g, "Phi step (deg.)", Sized(b.edit(grid, "Eincph", f.Eincph)));
    auto* output = Group(this, "Output file (.slc)", g);
    Row(g, "Name", Sized(b.edit(output, "edit5", f.edit5), 140));
    AlignLabels({reflection, background, grid, output});
    settings->addWidget(reflection);
    settings->addWidget(background);
    settings->addWidget(grid);
    settings->addWidget(output);
    settings->addStretch(1);

    // ---- the preview and the buttons
    auto* result = new QVBoxLayout;
    result->addWidget(b.check(this, "CheckBox2", "Preview PF", f.CheckBox2));
    preview_ = new PictureView(ws.FPoleF.Preview, this);
    preview_->setObjectName("Image1");
    result->addWidget(preview_, 0, Qt::AlignHCenter);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setRange(0, 100);
    result->addWidget(progress_);
    result->addStretch(1);
    generate_ = Button(this, "Button1", "Generate");
    auto* close = Button(this, "Button3", "Close");
    connect(generate_, &QPushButton::clicked, this, [this] { generate(); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(generate_);
    buttons->addWidget(close);
    result->addLayout(buttons);

    auto* top = new QHBoxLayout(this);
    top->addLayout(frames, 1);
    top->addLayout(settings);
    top->addLayout(result);
    refresh();
}

TForm16Window::~TForm16Window() {
    if (!worker_) return;
    if (!worker_->Finished()) {
        // The run ends before its next frame; its hand-overs are served
        // until it has.
        ws_.BatchRunning = 0;
        waitForRun();
    }
    worker_->Join();
}

bool TForm16Window::running() const { return worker_ && !worker_->Finished(); }

void TForm16Window::waitForRun() {
    // When the program ends, hand-overs no longer wait for the main thread:
    // the run ends by itself, and the windows it would refresh may be gone.
    if (!QCoreApplication::instance() || host_.shuttingDown()) {
        if (worker_) worker_->Join();
        return;
    }
    while (running()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    QApplication::processEvents();
    host_.catchUp();   // the windows show where the run ended
}

void TForm16Window::generate() {
    if (ws_.PoleRunning) return;
    bool start = false;
    if (!run([&] { start = PoleGenerateAllowed(ws_, host_); }) || !start) return;
    if (worker_) worker_->Join();
    worker_ = std::make_unique<TPoleThread>(ws_, host_);
    refresh();
}

void TForm16Window::refresh() {
    RecordWindow::refresh();
    const TForm16& f = ws_.Form16;
    const QString text = MemoText(f.Memo1);
    if (memo_->toPlainText() != text) {
        const QSignalBlocker block(memo_);
        memo_->setPlainText(text);
    }
    generate_->setEnabled(f.Button1Enabled && !ws_.PoleRunning);
    progress_->setValue(std::clamp(f.ProgressBar1, 0, 100));
    preview_->pictureChanged();
}

} // namespace orv
