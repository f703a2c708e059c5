#include "workspace/ui/frame_list_window.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <string>
#include <vector>

#include "workspace/history.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

TForm4Window::TForm4Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm4", "Frame list", {View::FileList}, parent) {
    tree_ = new QTreeWidget(this);
    tree_->setObjectName("TreeView1");
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    root_ = new QTreeWidgetItem(tree_, QStringList("Files"));
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(tree_);
    resize(260, 360);

    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (item->parent() == root_) entryClick(root_->indexOfChild(item));
    });
    refresh();
}

void TForm4Window::refresh() {
    const std::vector<std::string> names = FrameListNames(ws_);
    bool same = root_->childCount() == static_cast<int>(names.size());
    for (int i = 0; same && i < root_->childCount(); ++i)
        same = root_->child(i)->text(0) == QString::fromStdString(names[static_cast<size_t>(i)]);
    if (same) return;
    qDeleteAll(root_->takeChildren());
    for (const std::string& name : names) new QTreeWidgetItem(root_, QStringList(QString::fromStdString(name)));
    root_->setExpanded(true);
}

void TForm4Window::entryClick(int entry) {
    if (!FrameListClick(ws_, entry)) return;
    if (showFrameWindow) showFrameWindow();
    if (startLoading) startLoading();
    highlightEntry(entry);
}

void TForm4Window::highlightEntry(int entry) {
    if (entry < 0 || entry >= root_->childCount()) return;
    tree_->setCurrentItem(root_->child(entry));
}

void TForm4Window::showEvent(QShowEvent* event) {
    if (anchor_) move(x(), anchor_->y() + std::min(anchor_->height(), 150));
    RecordWindow::showEvent(event);
}

} // namespace orv
