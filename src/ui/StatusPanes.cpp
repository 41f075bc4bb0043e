#include "ui/StatusPanes.h"

#include <QHBoxLayout>
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
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(4);
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
    while (layout_->count() > 0) delete layout_->takeAt(0);
    message_->hide();
    lamps_->hide();
    for (auto& [item, pane] : panes_) pane->hide();
    items_.clear();
    bool message = false;
    for (int item : items) {
        QWidget* w = nullptr;
        int stretch = 0;
        if (item == kStatusMessage) {
            w = message_;
            stretch = 1;
            message = true;
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
        layout_->addWidget(w, stretch);
        w->show();
    }
    // Without the message pane the panes keep to the left.
    if (!message) layout_->addStretch(1);
    Refresh();
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

QString StatusPanes::Message() const {
    return message_->text();
}

void StatusPanes::Refresh() {
    if (!facts) return;
    const StatusFacts f = facts();
    const QFontMetrics fm(cellFont_);
    const int cell = fm.horizontalAdvance(QLatin1Char('A'));
    for (int item : items_) {
        auto it = panes_.find(item);
        if (it == panes_.end()) continue;
        const std::string text = StatusPaneText(item, f);
        const int frame = 2 * it->second->frameWidth() + 8;
        it->second->setFixedWidth(DisplayCells(text) * cell + frame);
        it->second->setText(QString::fromStdString(text));
    }
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
