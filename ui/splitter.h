#pragma once
// A splitter with a thin dark handle whose first pane never gets narrower than
// a minimum width (the folder tree of the browser keeps 50 pixels).
#include <QSplitter>

namespace murrel::ui {

class Splitter : public QSplitter {
    Q_OBJECT
public:
    explicit Splitter(Qt::Orientation orientation, QWidget* parent = nullptr);

    void set_first_minimum(int pixels) { first_minimum_ = pixels; }
    int first_minimum() const { return first_minimum_; }
    // Widens the first pane to the minimum when it is narrower; true when it did.
    bool enforce_first_minimum();

protected:
    QSplitterHandle* createHandle() override;

private:
    int first_minimum_ = 0;
};

}  // namespace murrel::ui
