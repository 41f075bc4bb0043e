#include "ui/StatusPanes.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <ctime>

#include "app/MainFrame.h"
#include "line/SerialLine.h"

namespace marlo::ui {

// The seven lamps DTR, RTS, CTS, DSR, CD, SD, RD (lamp bits 1 to 64).
class LampWidget : public QWidget {
  public:
    explicit LampWidget(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("lamps"));
        setToolTip(QStringLiteral("DTR・RTS: クリックで切り替え"));
        setFixedWidth(kCount * kPitch);  // every lamp in sight, however narrow the window
    }
    std::function<void(unsigned lamp)> onClicked;
    void SetLamps(unsigned l) {
        if (l != lamps_) {
            lamps_ = l;
            update();
        }
    }
    unsigned Lamps() const { return lamps_; }
    QSize sizeHint() const override { return {kCount * kPitch, 16}; }
    // The lamp under a point, as its bit; 0 between lamps.
    static unsigned LampAt(QPoint p) {
        const int i = p.x() / kPitch;
        if (p.x() < 0 || i >= kCount || p.x() % kPitch >= kPitch - 2) return 0;
        return 1u << i;
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        static const char* const names[kCount] = {"DTR", "RTS", "CTS", "DSR", "CD", "SD", "RD"};
        QPainter p(this);
        QFont f = font();
        f.setPointSize(7);
        p.setFont(f);
        for (int i = 0; i < kCount; ++i) {
            QRect r(i * kPitch, 1, kPitch - 2, height() - 2);
            bool on = lamps_ & (1u << i);
            p.fillRect(r, on ? QColor(255, 64, 64) : QColor(90, 90, 90));
            p.setPen(on ? Qt::black : Qt::lightGray);
            p.drawText(r, Qt::AlignCenter, QString::fromLatin1(names[i]));
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        const unsigned lamp = LampAt(e->position().toPoint());
        if (e->button() == Qt::LeftButton && (lamp == kLampDtr || lamp == kLampRts) && onClicked)
            onClicked(lamp);
    }

  private:
    static constexpr int kCount = 7, kPitch = 34;
    unsigned lamps_ = 0;
};

StatusPanes::StatusPanes(QWidget* parent) : QWidget(parent) {
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("statusMessage"));
    lamps_ = new LampWidget(this);
    lamps_->onClicked = [this](unsigned lamp) {
        if (onLampClicked) onLampClicked(lamp);
    };
    connect(&timer_, &QTimer::timeout, this, [this] { Refresh(); });
    timer_.start(kTimer3PeriodMs);
}

void StatusPanes::SetItems(const std::vector<int>& items) {
    message_->hide();
    lamps_->hide();
    for (auto& [item, pane] : panes_) pane->hide();
    items_.clear();
    for (int item : items) {
        QWidget* w = nullptr;
        if (item == kStatusMessage) {
            w = message_;
        } else if (item == kStatusLamps) {
            w = lamps_;
        } else if (item > kStatusLamps && item < kStatusItemCount) {
            QLabel*& pane = panes_[item];
            if (!pane) {
                pane = new QLabel(this);
                pane->setObjectName(QStringLiteral("statusPane%1").arg(item));
                pane->setFrameShape(QFrame::Panel);
                pane->setFrameShadow(QFrame::Sunken);
                pane->setAlignment(Qt::AlignCenter);
                pane->setFont(cellFont_);
                pane->setToolTip(QString::fromUtf8(StatusItemLabel(item)));
            }
            w = pane;
        }
        if (!w) continue;
        items_.push_back(item);
        w->show();
    }
    Refresh();
}

QWidget* StatusPanes::WidgetOf(int item) const {
    if (item == kStatusMessage) return message_;
    if (item == kStatusLamps) return lamps_;
    auto it = panes_.find(item);
    return it == panes_.end() ? nullptr : it->second;
}

void StatusPanes::Arrange() {
    // Left to right in the chosen order; the message pane takes what the others leave. Panes
    // that do not fit a narrow window are cut off at the right, never drawn over each other.
    int fixed = 0;
    for (int item : items_)
        if (item != kStatusMessage) fixed += WidgetOf(item)->width() + kGap;
    int x = 0;
    for (int item : items_) {
        QWidget* w = WidgetOf(item);
        const int width = item == kStatusMessage ? std::max(0, this->width() - fixed) : w->width();
        w->setGeometry(x, 0, width, height());
        x += width + kGap;
    }
}

void StatusPanes::resizeEvent(QResizeEvent*) {
    Arrange();
}

QSize StatusPanes::sizeHint() const {
    int width = 0;
    for (int item : items_) width += WidgetOf(item)->sizeHint().width() + kGap;
    return {width, minimumSizeHint().height()};
}

QSize StatusPanes::minimumSizeHint() const {
    return {0, std::max(lamps_->sizeHint().height(), message_->sizeHint().height()) + 2};
}

void StatusPanes::SetCellFont(const QFont& font) {
    cellFont_ = font;
    for (auto& [item, pane] : panes_) pane->setFont(font);
    Refresh();
}

void StatusPanes::SetLamps(unsigned lamps) {
    lamps_->SetLamps(lamps);
}

void StatusPanes::SetMessage(const QString& text) {
    message_->setText(text);
}

void StatusPanes::Refresh() {
    const StatusFacts f = facts ? facts() : StatusFacts{};
    const QFontMetrics fm(cellFont_);
    const int cell = fm.horizontalAdvance(QLatin1Char('A'));
    for (int item : items_) {
        auto it = panes_.find(item);
        if (it == panes_.end() || !facts) continue;
        const std::string text = StatusPaneText(item, f);
        const int frame = 2 * it->second->frameWidth() + 8;
        it->second->setFixedWidth(DisplayCells(text) * cell + frame);
        it->second->setText(QString::fromStdString(text));
    }
    Arrange();
}

QLabel* StatusPanes::Pane(int item) const {
    if (item == kStatusMessage) return message_->isHidden() ? nullptr : message_;
    auto it = panes_.find(item);
    return it != panes_.end() && !it->second->isHidden() ? it->second : nullptr;
}

QWidget* StatusPanes::Lamps() const {
    return lamps_;
}

}  // namespace marlo::ui
