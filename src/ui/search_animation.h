#pragma once

#include <QTimer>
#include <QWidget>

namespace spurfix::ui {

// A small animation of a folder being searched, shown while a reading runs. Stopped,
// it shows its still frame.
class SearchAnimation : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kFrameCount = 32;
    static constexpr int kStopFrame = 29;

    explicit SearchAnimation(QWidget* parent = nullptr);

    void play();
    void stop();
    [[nodiscard]] bool isPlaying() const { return timer_.isActive(); }
    [[nodiscard]] int currentFrame() const { return frame_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QTimer timer_;
    int frame_ = kStopFrame;
};

}  // namespace spurfix::ui
