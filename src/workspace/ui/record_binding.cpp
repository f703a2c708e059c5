#include "workspace/ui/record_binding.h"

#include <QSignalBlocker>

namespace orv {

QLineEdit* RecordBinding::edit(QWidget* parent, const char* name, std::string& member) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setText(QString::fromStdString(member));
    QObject::connect(e, &QLineEdit::textEdited, e, [&member](const QString& t) { member = t.toStdString(); });
    refreshers_.push_back([e, &member] {
        QString text = QString::fromStdString(member);
        if (e->text() != text) {
            QSignalBlocker block(e);
            e->setText(text);
        }
    });
    return e;
}

QCheckBox* RecordBinding::check(QWidget* parent, const char* name, const QString& caption, bool& member) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    c->setChecked(member);
    QObject::connect(c, &QCheckBox::toggled, c, [&member](bool on) { member = on; });
    refreshers_.push_back([c, &member] {
        QSignalBlocker block(c);
        c->setChecked(member);
    });
    return c;
}

QRadioButton* RecordBinding::radio(QWidget* parent, const char* name, const QString& caption, bool& member) {
    auto* r = new QRadioButton(caption, parent);
    r->setObjectName(name);
    r->setChecked(member);
    QObject::connect(r, &QRadioButton::toggled, r, [&member](bool on) { member = on; });
    refreshers_.push_back([r, &member] {
        QSignalBlocker block(r);
        r->setChecked(member);
    });
    return r;
}

void RecordBinding::refresh() {
    for (auto& f : refreshers_) f();
}

} // namespace orv
