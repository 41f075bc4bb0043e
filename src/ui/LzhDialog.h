// The dialog ".LZH書庫ﾌｧｲﾙ解凍": the archive ("解凍ﾌｧｲﾙ") and the destination ("解凍先ﾃﾞｨﾚｸﾄﾘ"),
// each with a chooser, the delete flag and the library's version. "解凍" runs the extraction on a
// thread of its own while a bar shows how far it got; "ｷｬﾝｾﾙ" then stops it.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>
#include <string>

#include "tools/Lzh.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace marlo {
class IPlatform;
}

namespace marlo::ui {

class LzhDialog : public QDialog {
    Q_OBJECT
  public:
    LzhDialog(const std::string& archive, IPlatform& platform, QWidget* parent);
    ~LzhDialog() override;

    // Shows the dialog; the request and what came of it, or nullopt when it was closed unused.
    static std::optional<LzhOutcome> Run(const std::string& archive, IPlatform& platform,
                                         QWidget* parent);
    const std::optional<LzhOutcome>& Outcome() const { return outcome_; }
    bool Extracting() const { return job_ != nullptr; }

  public slots:
    void reject() override;

  private:
    void Start();
    void Poll();

    IPlatform& platform_;
    QLineEdit* archive_;
    QLineEdit* destination_;
    QCheckBox* delete_;
    QPushButton* extract_;
    QPushButton* cancel_;
    QProgressBar* bar_;
    QLabel* member_;
    QTimer* timer_;
    std::unique_ptr<LzhJob> job_;
    std::optional<LzhOutcome> outcome_;
};

}  // namespace marlo::ui
