#include "Common/Views/SliderWithButtons.h"

#include <QIcon>
#include <QPixmap>

#include "Common/Icons/NSImageNameTemplatesLoader.h"
#include "Common/Strings/Gui/NSImageNamedImageExtended.h"
#include "Platform/Gui/View.h"

namespace vistel {

namespace {

QToolButton* makeButton(QWidget* parent, const char* imageName)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    const QImage image = NSImageNamedImageExtended::imageNamed(imageName, "images");
    if (!image.isNull())
        button->setIcon(QIcon(QPixmap::fromImage(image)));
    return button;
}

} // namespace

SliderWithButtons::SliderWithButtons(const QRect& frame, const char* imageMin, const char* imageMax, QWidget* parent)
    : QWidget(parent)
    , slider_(new Slider(Qt::Horizontal, this))
    , button1_(makeButton(this, imageMin ? imageMin : kImageNameRemove))
    , button2_(makeButton(this, imageMax ? imageMax : kImageNameAdd))
{
    setGeometry(frame);
    connect(button1_, &QToolButton::clicked, this, [this] { toMin(); });
    connect(button2_, &QToolButton::clicked, this, [this] { toMax(); });
    adjustButtonsToSliderCell();
}

void SliderWithButtons::adjustButtonsToSliderCell()
{
    const double w = width();
    const double h = height();
    const double s = std::min<double>(slider_->sizeHint().height(), h > 0 ? h : slider_->sizeHint().height());
    const double y = (h - s) / 2;
    View::setFrame(button1_, {0, y, s, s});
    View::setFrame(slider_, {s, y, std::max(0.0, w - 2 * s), s});
    View::setFrame(button2_, {w - s, y, s, s});
    const int icon = std::max(8, static_cast<int>(s) - 4);
    button1_->setIconSize({icon, icon});
    button2_->setIconSize({icon, icon});
}

void SliderWithButtons::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    adjustButtonsToSliderCell();
}

} // namespace vistel
