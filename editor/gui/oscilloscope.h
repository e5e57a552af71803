#pragma once
// TOscilloscope: a small display of the signal being played. Feed copies the
// last few hundred frames handed to it under a lock (any thread may feed it);
// the user-interface thread repaints it on the locator's tick.
#include <QWidget>
#include <cstdint>
#include <mutex>
#include <vector>

namespace murrel {

class TOscilloscope : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFrames = 512;
    explicit TOscilloscope(QWidget* parent = nullptr);

    // 16-bit PCM, `channels` interleaved; the first channel is shown. Any thread.
    void Feed(const int16_t* samples, int64_t frames, int channels);
    void Clear();
    // The frames shown next (a copy, any thread).
    std::vector<int16_t> Snapshot() const;
    // How many buffers were fed since Clear.
    int64_t Feeds() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    mutable std::mutex lock_;
    std::vector<int16_t> frames_;
    int64_t feeds_ = 0;
};

}  // namespace murrel
