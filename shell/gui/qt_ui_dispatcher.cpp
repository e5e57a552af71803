#include "shell/gui/qt_ui_dispatcher.h"

#include <QMetaObject>

namespace murrel {

QtUiDispatcher::QtUiDispatcher() = default;
QtUiDispatcher::~QtUiDispatcher() = default;

void QtUiDispatcher::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

}  // namespace murrel
