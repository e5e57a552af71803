#pragma once
// Base of the engine's data objects: an update counter that folds the changes
// made between BeginUpdate and EndUpdate into one Changing/Changed pair, and
// observers told about changes. Single-threaded, like its users.
#include <functional>
#include <vector>

namespace murrel {

enum class ObjectEvent { Changing, Changed, Opened, Closed };

class TMMObject {
public:
    using Observer = std::function<void(ObjectEvent)>;

    TMMObject() = default;
    TMMObject(const TMMObject&) : TMMObject() {}  // observers are not copied
    TMMObject& operator=(const TMMObject&) { return *this; }
    virtual ~TMMObject() = default;

    // Changing fires when the counter leaves 0, Changed when it returns to 0.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return update_count_; }

    // Called with every event; an observer may not add or remove observers
    // while it is being called. Returns an id for RemoveObserver.
    int AddObserver(Observer observer);
    void RemoveObserver(int id);

    // Single-callback forms (the list classes' OnChanging/OnChange).
    std::function<void()> OnChanging;
    std::function<void()> OnChange;

protected:
    // One complete change: Changing + Changed unless an update is in progress.
    void Changed() { BeginUpdate(); EndUpdate(); }
    void Notify(ObjectEvent event);

private:
    int update_count_ = 0;
    int next_id_ = 1;
    std::vector<std::pair<int, Observer>> observers_;
};

}  // namespace murrel
