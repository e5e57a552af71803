#pragma once
// The program's user-interface dispatcher: work posted from any thread runs
// on the Qt event loop of the thread that owns the dispatcher's context
// object, in posting order.
#include <QObject>

#include "audio/devices/ui_dispatcher.h"

namespace murrel {

class QtUiDispatcher final : public UiDispatcher {
public:
    QtUiDispatcher();
    ~QtUiDispatcher() override;
    void post(std::function<void()> work) override;

private:
    QObject context_;  // lives on the constructing (user-interface) thread
};

}  // namespace murrel
