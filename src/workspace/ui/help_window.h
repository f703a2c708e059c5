#pragma once
// "Help": the product, its version and the mouse and key shortcuts.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace orv {

// One shortcut: the key's lines and what it does.
struct HotKey {
    QStringList key;
    QStringList descriptions;
};
const std::vector<HotKey>& HotKeys();

class TFAboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit TFAboutWindow(QWidget* parent = nullptr);
};

} // namespace orv
