#include "scans/ui/mineral_windows.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "scans/mineral_list.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

// ---- "Mineral List" -----------------------------------------------------------

TForm18Window::TForm18Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm18", "Mineral List", {}, parent) {
    TForm18& f = ws.Form18;
    auto* layout = new QHBoxLayout(this);

    list_ = new QListWidget(this);
    list_->setObjectName("MineralList");
    list_->setMinimumWidth(260);
    layout->addWidget(list_, 1);
    // A row is taken when the selection moves to it (mouse or keys) and
    // also when the selected row is clicked again, which draws it again.
    list_->viewport()->installEventFilter(this);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        rowChangedByPress_ = true;
        rowClicked(row);
    });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (!rowChangedByPress_) rowClicked(list_->row(item));
    });

    auto* side = new QVBoxLayout;
    layout->addLayout(side);

    QGridLayout* grid = nullptr;
    QGroupBox* search = Group(this, "Boolean Search", grid);
    Row(grid, "Include", binding_.edit(search, "EAnd", f.EAnd));
    Row(grid, "Exclude", binding_.edit(search, "ENot", f.ENot));
    auto* radios = new QHBoxLayout;
    radios->addWidget(binding_.radio(search, "RadioButton1", "Name", f.RadioButton1));
    radios->addWidget(binding_.radio(search, "RadioButton2", "Formula", f.RadioButton2));
    radios->addWidget(binding_.radio(search, "RadioButton3", "Both", f.RadioButton3));
    grid->addLayout(radios, grid->rowCount(), 0, 1, 3);
    QPushButton* apply = Button(search, "Button2", "Apply");
    grid->addWidget(apply, grid->rowCount(), 1);
    connect(apply, &QPushButton::clicked, this, [this] { run([this] { ApplyMineralSearch(ws_); }); });
    side->addWidget(search);

    QGroupBox* tool = Group(this, "Find Tool", grid);
    QLineEdit* width = binding_.edit(tool, "EWidth", f.EWidth);
    width->setFixedWidth(70);
    Row(grid, "Peak width", width);
    auto* constraints = new QLabel("Search Constrains", tool);
    grid->addWidget(constraints, grid->rowCount(), 0, 1, 3);
    trackBar_ = new QSlider(Qt::Horizontal, tool);
    trackBar_->setObjectName("TrackBar1");
    trackBar_->setRange(0, 100);
    trackBar_->setValue(f.TrackBar1);
    connect(trackBar_, &QSlider::valueChanged, this, [this](int v) { ws_.Form18.TrackBar1 = v; });
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel("Low", tool));
    bar->addWidget(trackBar_, 1);
    bar->addWidget(new QLabel("High", tool));
    grid->addLayout(bar, grid->rowCount(), 0, 1, 3);
    QPushButton* match = Button(tool, "FMatch", "Find Match");
    grid->addWidget(match, grid->rowCount(), 1);
    connect(match, &QPushButton::clicked, this, [this] { findMatch(); });
    side->addWidget(tool);
    AlignLabels({search, tool});

    auto* buttons = new QGridLayout;
    QPushButton* showAll = Button(this, "Button4", "Show All");
    QPushButton* add = Button(this, "Button5", "Add");
    QPushButton* remove = Button(this, "Button6", "Remove");
    QPushButton* ok = Button(this, "Button1", "OK");
    buttons->addWidget(showAll, 0, 0);
    buttons->addWidget(add, 0, 1);
    buttons->addWidget(remove, 1, 0);
    buttons->addWidget(ok, 1, 1);
    side->addLayout(buttons);
    connect(showAll, &QPushButton::clicked, this, [this] { run([this] { ShowAllMinerals(ws_); }); });
    connect(add, &QPushButton::clicked, this, [this] {
        run([this] { StartNewPattern(ws_); });
        if (showNewPattern) showNewPattern();
    });
    connect(remove, &QPushButton::clicked, this, [this] { run([this] { RemoveSelectedMineral(ws_, host_); }); });
    // Not shown, as the name and formula boxes it reads are not.
    QPushButton* modify = Button(this, "Modify", "Modify");
    modify->hide();
    connect(modify, &QPushButton::clicked, this, [this] { run([this] { ModifySelectedMineral(ws_); }); });
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    side->addWidget(progress_);
    side->addStretch(1);
    resize(560, 420);
}

void TForm18Window::refresh() {
    RecordWindow::refresh();
    const std::vector<std::string> rows = MineralListRows(ws_);
    QSignalBlocker block(list_);
    bool same = list_->count() == static_cast<int>(rows.size());
    for (int i = 0; same && i < list_->count(); ++i)
        same = list_->item(i)->text() == QString::fromStdString(rows[static_cast<size_t>(i)]);
    if (!same) {
        list_->clear();
        for (const std::string& row : rows) list_->addItem(QString::fromStdString(row));
    }
    list_->setCurrentRow(ws_.Form18.ItemIndex);
    if (ws_.Form18.ItemIndex < 0) list_->clearSelection();
    QSignalBlocker blockBar(trackBar_);
    trackBar_->setValue(ws_.Form18.TrackBar1);
    progress_->setValue(ws_.Form18.ProgressBar1);
}

void TForm18Window::rowClicked(int row) {
    const int32_t pattern = SelectMineralRow(ws_, row);
    binding_.refresh();
    if (pattern > 0 && onStandardSelected) onStandardSelected(pattern);
}

bool TForm18Window::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress) rowChangedByPress_ = false;
    return RecordWindow::eventFilter(watched, event);
}

void TForm18Window::findMatch() {
    MineralMatchSteps steps;
    steps.RemoveBackground = removeBackground;
    steps.Progress = [this](int percent) {
        progress_->setValue(percent);
        progress_->repaint();
    };
    std::vector<MineralMatch> listed;
    if (!run([&] { listed = FindMineralMatches(ws_, host_, steps); })) return;
    if (!listed.empty() && showMatch) showMatch(listed.front().Pattern, listed.front().Score);
}

void TForm18Window::showEvent(QShowEvent* event) {
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        s && s->geometry().height() > 900 && anchor_) {
        const int below = anchor_->frameGeometry().bottom() + 1;
        // Under the scan window, but never off the bottom of the screen.
        if (below < 1000) move(anchor_->x(), std::min(below, s->availableGeometry().bottom() - frameGeometry().height()));
    }
    // The database is read each time the list is shown (not when it is
    // merely restored from minimised).
    if (!ws_.Form18.Visible) {
        ws_.Form18.Visible = true;
        ReadMineralDatabase(ws_, host_);
    }
    RecordWindow::showEvent(event);
}

void TForm18Window::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) ws_.Form18.Visible = false;
    RecordWindow::hideEvent(event);
}

// ---- "New Pattern" ------------------------------------------------------------

TForm29Window::TForm29Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm29", "New Pattern", {}, parent) {
    TForm29& f = ws.Form29;
    auto* layout = new QVBoxLayout(this);
    auto* boxes = new QGridLayout;
    auto addBox = [&](int row, int column, const QString& label, QLineEdit* box) {
        auto* l = new QLabel(label, this);
        l->setBuddy(box);
        boxes->addWidget(l, row, column);
        boxes->addWidget(box, row, column + 1);
    };
    addBox(0, 0, "Name", binding_.edit(this, "EName", f.EName));
    addBox(0, 2, "Formula", binding_.edit(this, "EFormula", f.EFormula));
    QLineEdit* d = binding_.edit(this, "Edhkl", f.Edhkl);
    QLineEdit* i = binding_.edit(this, "EIhkl", f.EIhkl);
    QLineEdit* hkl = binding_.edit(this, "Ehkl", f.Ehkl);
    d->setFixedWidth(80);
    i->setFixedWidth(80);
    auto* line = new QHBoxLayout;
    for (auto [label, box] : {std::pair<const char*, QLineEdit*>{"dhkl", d}, {"Ihkl", i}, {"hkl", hkl}}) {
        auto* l = new QLabel(label, this);
        l->setBuddy(box);
        line->addWidget(l);
        line->addWidget(box);
    }
    QPushButton* add = Button(this, "BAdd", "Add");
    line->addWidget(add);
    layout->addLayout(boxes);
    layout->addLayout(line);

    grid_ = new QTableWidget(0, PatternGridColumns, this);
    grid_->setObjectName("StringGrid1");
    grid_->setHorizontalHeaderLabels({"No.", "d", "I", "hkl"});
    grid_->verticalHeader()->hide();
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setColumnWidth(0, 50);
    layout->addWidget(grid_, 1);

    QPushButton* save = Button(this, "BSave", "Save");
    QPushButton* cancel = Button(this, "BCancel", "Cancel");
    QPushButton* loadButton = Button(this, "BLoad", "Load");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(loadButton);
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] { run([this] { AddPatternLine(ws_); }); });
    connect(loadButton, &QPushButton::clicked, this, [this] { load(); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
    connect(save, &QPushButton::clicked, this, [this] {
        if (!SavePattern(ws_, host_)) return;
        hide();
        if (onSaved) onSaved();
    });
    resize(480, 420);
}

void TForm29Window::refresh() {
    RecordWindow::refresh();
    const std::vector<PatternGridRow>& rows = ws_.Form29.StringGrid1;
    const int shown = std::max(0, static_cast<int>(rows.size()) - 1);   // row 0 is the titles
    grid_->setRowCount(shown);
    for (int r = 0; r < shown; ++r)
        for (int c = 0; c < PatternGridColumns; ++c) {
            const QString text = QString::fromStdString(rows[static_cast<size_t>(r) + 1][static_cast<size_t>(c)]);
            QTableWidgetItem* item = grid_->item(r, c);
            if (!item) grid_->setItem(r, c, new QTableWidgetItem(text));
            else if (item->text() != text) item->setText(text);
        }
}

void TForm29Window::load() {
    const auto files = host_.askOpenFileNames("Text files (*.txt)|*.txt|All files (*.*)|*.*", false);
    if (files.empty()) return;
    run([&] { LoadPatternFile(ws_, files.front()); });
}

void TForm29Window::showEvent(QShowEvent* event) {
    ws_.Form29.Visible = true;
    RecordWindow::showEvent(event);
}

void TForm29Window::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) ws_.Form29.Visible = false;
    RecordWindow::hideEvent(event);
}

} // namespace orv
