#include "ui/window_texts.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "ui/charset.h"

namespace murrel::ui {

namespace {
QObject* find_control(QWidget* root, std::string_view name) {
    const QString n = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (root->objectName() == n) return root;
    if (QObject* o = root->findChild<QObject*>(n)) return o;
    return nullptr;
}

void set_hint(QObject* control, const QString& text) {
    if (auto* w = qobject_cast<QWidget*>(control)) w->setToolTip(text);
    else if (auto* a = qobject_cast<QAction*>(control)) a->setToolTip(text);
}
}  // namespace

void set_caption(QObject* control, const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(control)) l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(control)) b->setText(text);
    else if (auto* a = qobject_cast<QAction*>(control)) a->setText(text);
    else if (auto* e = qobject_cast<QLineEdit*>(control)) e->setText(text);
    else if (auto* w = qobject_cast<QWidget*>(control)) w->setWindowTitle(text);
}

void apply_window_texts(QWidget* root, const WindowTexts& texts) {
    for (const std::string_view name : charset_controls(texts.window))
        if (auto* w = qobject_cast<QWidget*>(find_control(root, name))) apply_charset(w, texts.charset);
    for (const CatalogueText& t : texts.texts) {
        if (t.key->use == TextUse::Message) continue;
        const QString text = QString::fromStdString(t.text);
        std::vector<std::string_view> names{t.key->control};
        for (const std::string_view extra : extra_controls(t.key->key)) names.push_back(extra);
        for (const std::string_view name : names) {
            QObject* control = find_control(root, name);
            if (!control) continue;
            if (t.key->use == TextUse::Hint) set_hint(control, text);
            else set_caption(control, text);
        }
    }
}

}  // namespace murrel::ui
