#include "ui/ToolBars.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QToolBar>
#include <memory>

#include "ui/MainWindow.h"

namespace marlo::ui {

namespace {

// Paints a drawing at whatever size it is asked for; the disabled look comes from the style.
class SvgIconEngine : public QIconEngine {
  public:
    explicit SvgIconEngine(std::shared_ptr<QSvgRenderer> renderer)
        : renderer_(std::move(renderer)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = Render(rect.size(), dpr, mode, state);
        painter->drawPixmap(rect, pm);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Render(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return Render(size, scale, mode, state);
    }
    QIconEngine* clone() const override { return new SvgIconEngine(renderer_); }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    bool isNull() override { return !renderer_->isValid(); }

  private:
    QPixmap Render(const QSize& size, qreal dpr, QIcon::Mode mode, QIcon::State) const {
        QPixmap pm(size * dpr);
        pm.fill(Qt::transparent);
        {
            // Square drawings keep their shape in a box that is not square.
            const int side = std::min(pm.width(), pm.height());
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            renderer_->render(&p, QRectF((pm.width() - side) / 2.0, (pm.height() - side) / 2.0,
                                         side, side));
        }
        pm.setDevicePixelRatio(dpr);
        if (mode == QIcon::Disabled || mode == QIcon::Selected) {
            QStyleOption opt;
            opt.palette = QApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(mode, pm, &opt);
        }
        return pm;
    }
    std::shared_ptr<QSvgRenderer> renderer_;
};

}  // namespace

QIcon ToolButtonIcon(int n) {
    const QString path = QStringLiteral(":/toolbar/%1.svg").arg(QLatin1String(ToolButtonAt(n).icon));
    return QIcon(new SvgIconEngine(std::make_shared<QSvgRenderer>(path)));
}

ToolBarSet::ToolBarSet(MainWindow& window) : window_(window) {
    for (int i = 0; i < kToolBarCount; ++i) {
        auto* bar = new QToolBar(QStringLiteral("ﾂｰﾙﾊﾞｰ%1").arg(i + 1), &window);
        bar->setObjectName(QStringLiteral("toolBar%1").arg(i + 1));
        window.addToolBar(Qt::TopToolBarArea, bar);
        bars_[static_cast<size_t>(i)] = bar;
    }
}

void ToolBarSet::Build(const ToolLists& lists, bool large) {
    // Small pictures 16 pixels, large 32: the drawings' strokes sit on whole pixels at both.
    const QSize iconSize = large ? QSize(32, 32) : QSize(16, 16);
    for (int i = 0; i < kToolBarCount; ++i) {
        QToolBar* bar = Bar(i);
        const QList<QAction*> old = bar->actions();
        bar->clear();
        for (QAction* a : old)
            if (a->parent() == bar) delete a;
        bar->setIconSize(iconSize);
        for (int v : lists[static_cast<size_t>(i)]) {
            if (v < 0 || v >= kToolButtonCount) {
                bar->addSeparator();
                continue;
            }
            const ToolButton& b = ToolButtonAt(v);
            bar->addAction(window_.MakeToolCommand(QString::fromUtf8(b.label), b.command,
                                                   ToolButtonIcon(v), bar));
        }
    }
}

void ToolBarSet::SetVisible(int bar, bool visible) {
    if (QToolBar* b = Bar(bar)) b->setVisible(visible);
}

bool ToolBarSet::Visible(int bar) const {
    QToolBar* b = Bar(bar);
    return b && !b->isHidden();
}

}  // namespace marlo::ui
