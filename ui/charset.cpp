#include "ui/charset.h"

#include <QWidget>

namespace murrel::ui {

QFontDatabase::WritingSystem to_qt(WritingSystem ws) {
    switch (ws) {
    case WritingSystem::Any: return QFontDatabase::Any;
    case WritingSystem::Latin: return QFontDatabase::Latin;
    case WritingSystem::Greek: return QFontDatabase::Greek;
    case WritingSystem::Cyrillic: return QFontDatabase::Cyrillic;
    case WritingSystem::Hebrew: return QFontDatabase::Hebrew;
    case WritingSystem::Arabic: return QFontDatabase::Arabic;
    case WritingSystem::Thai: return QFontDatabase::Thai;
    case WritingSystem::Vietnamese: return QFontDatabase::Vietnamese;
    case WritingSystem::SimplifiedChinese: return QFontDatabase::SimplifiedChinese;
    case WritingSystem::TraditionalChinese: return QFontDatabase::TraditionalChinese;
    case WritingSystem::Japanese: return QFontDatabase::Japanese;
    case WritingSystem::Korean: return QFontDatabase::Korean;
    case WritingSystem::Symbol: return QFontDatabase::Symbol;
    }
    return QFontDatabase::Any;
}

void apply_charset(QWidget* widget, int32_t charset) {
    if (!widget) return;
    widget->setProperty("charset", charset & 0xff);
    const QFontDatabase::WritingSystem ws = to_qt(charset_info(charset).writing_system);
    if (ws == QFontDatabase::Any) return;
    QFont font = widget->font();
    if (QFontDatabase::writingSystems(font.family()).contains(ws)) return;
    const QStringList families = QFontDatabase::families(ws);
    if (families.isEmpty()) return;
    font.setFamilies({families.first(), font.family()});
    widget->setFont(font);
}

}  // namespace murrel::ui
