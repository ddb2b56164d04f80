#pragma once
// A button with a picture and a caption on a vertical gradient face: the menu band's page
// buttons and the toolbars' buttons. Buttons of the same non-zero group on one parent behave
// like radio buttons; the one that is "down" is the checked one.

#include <QImage>
#include <QToolButton>

namespace ostero::ui {

class TImageButton : public QToolButton {
    Q_OBJECT

public:
    explicit TImageButton(QWidget* parent = nullptr);

    const QImage& Picture() const { return Picture_; }
    void SetPicture(const QImage& picture);
    // Shown while the button is disabled; without one the picture is shown greyed.
    void SetDisabledPicture(const QImage& picture);

    int Group() const { return Group_; }
    // A non-zero group makes the button stay down when clicked and release the others.
    void SetGroup(int group);
    bool Down() const { return isChecked(); }
    void SetDown(bool down) { setChecked(down); }

    bool AutoWidth() const { return AutoWidth_; }
    // With auto width the button is as wide as its picture and caption need.
    void SetAutoWidth(bool on);
    // Makes the button as wide as its picture and caption need, keeping its left edge.
    void AdjustWidth();

    // Percent of the face colours; 100 shows them as set.
    int Brightness() const { return Brightness_; }
    void SetBrightness(int percent);
    // The face runs from `Color` at the top to `GradientColor` at the bottom.
    QColor Color() const { return Color_; }
    void SetColor(const QColor& color);
    QColor GradientColor() const { return GradientColor_; }
    void SetGradientColor(const QColor& color);
    // Space around the picture and the caption.
    int Margin() const { return Margin_; }
    void SetMargin(int margin);

    // The face's top and bottom colours as drawn in the resting state (brightness applied).
    QColor FaceTop() const;
    QColor FaceBottom() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;

private:
    QColor Scaled(const QColor& color, int percent) const;
    // The width the picture and caption need.
    int NeededWidth() const;
    void ReleaseGroup();

    QImage Picture_;
    QImage DisabledPicture_;
    int Group_ = 0;
    bool AutoWidth_ = false;
    int Brightness_ = 100;
    QColor Color_{128, 128, 128};
    QColor GradientColor_{32, 32, 32};
    int Margin_ = 6;
};

} // namespace ostero::ui
