#include "audio/formats/mmwave_object.h"

#include <algorithm>

namespace murrel {

void TMMObject::BeginUpdate() {
    if (update_count_++ == 0) {
        if (OnChanging) OnChanging();
        Notify(ObjectEvent::Changing);
    }
}

void TMMObject::EndUpdate() {
    if (update_count_ <= 0) return;
    if (--update_count_ == 0) {
        if (OnChange) OnChange();
        Notify(ObjectEvent::Changed);
    }
}

int TMMObject::AddObserver(Observer observer) {
    observers_.emplace_back(next_id_, std::move(observer));
    return next_id_++;
}

void TMMObject::RemoveObserver(int id) {
    std::erase_if(observers_, [id](const auto& o) { return o.first == id; });
}

void TMMObject::Notify(ObjectEvent event) {
    for (auto& o : observers_) o.second(event);
}

}  // namespace murrel
