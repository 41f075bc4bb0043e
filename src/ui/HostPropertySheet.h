// The host property sheet "ﾎｽﾄの設定": six pages (ﾎｽﾄ, 回線, ｵｰﾄﾛｸﾞｵﾝ, 通信, 端末, ﾛｸﾞ) over one
// host entry, without an Apply button. Which controls are enabled and which values are refused
// are the host sheet model's rules; OK keeps the sheet open with a message while a value is
// refused.
#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "hosts/HostEntry.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace marlo {
class IPlatform;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

class HostPropertySheet : public QDialog {
    Q_OBJECT
  public:
    HostPropertySheet(const HostEntry& entry, const Settings& settings, IPlatform& platform,
                      QWidget* parent);

    // The entry as the pages show it now (fields the pages do not show keep their values).
    HostEntry Values() const;
    // The accepted entry, after OK.
    const HostEntry& Entry() const { return entry_; }

    QTabWidget* Pages() const { return pages_; }

    // Opens the sheet on `entry`; true on OK with `entry` replaced by the edited values.
    static bool Run(HostEntry& entry, const Settings& settings, IPlatform& platform,
                    QWidget* parent);

    void accept() override;

  private:
    QWidget* BuildHostPage();
    QWidget* BuildLinePage();
    QWidget* BuildLogonPage();
    QWidget* BuildCommPage();
    QWidget* BuildTermPage();
    QWidget* BuildLogPage();
    void Show(const HostEntry& e);
    void UpdateControls();
    void BrowseTelnetHost();
    void BrowseMacro();
    void BrowseLogonPattern();

    HostEntry entry_;
    const Settings& settings_;
    IPlatform& platform_;
    QTabWidget* pages_ = nullptr;

    // ﾎｽﾄ
    QLineEdit* name_ = nullptr;
    QListWidget* icons_ = nullptr;
    QLabel* iconPreview_ = nullptr;
    // 回線
    QRadioButton* lineModem_ = nullptr;
    QRadioButton* lineTelnet_ = nullptr;
    QRadioButton* tone_ = nullptr;
    QRadioButton* pulse_ = nullptr;
    QCheckBox* internal_ = nullptr;
    QLineEdit* external_ = nullptr;
    QLineEdit* telNum1_ = nullptr;
    QLineEdit* telNum2_ = nullptr;
    QComboBox* distance_ = nullptr;
    QLineEdit* modemIni_ = nullptr;
    QLineEdit* telnetHost_ = nullptr;
    QPushButton* telnetBrowse_ = nullptr;
    QSpinBox* telnetPort_ = nullptr;
    QCheckBox* infinite_ = nullptr;
    QSpinBox* redialNum_ = nullptr;
    QSpinBox* interval_ = nullptr;
    QList<QWidget*> telephoneControls_;
    QList<QWidget*> telnetControls_;
    // ｵｰﾄﾛｸﾞｵﾝ
    QCheckBox* macro_ = nullptr;
    QLineEdit* macroFile_ = nullptr;
    QPushButton* macroBrowse_ = nullptr;
    QCheckBox* logon_ = nullptr;
    QLineEdit* autoCommand_ = nullptr;
    QPushButton* logonBrowse_ = nullptr;
    QLineEdit* userId_ = nullptr;
    QLineEdit* password_ = nullptr;
    // 通信
    std::map<std::string, QComboBox*> combos_;  // by the value's name
    QSpinBox* breakTime_ = nullptr;
    QComboBox* device_ = nullptr;
    QSpinBox* readSize_ = nullptr;
    // 端末 and ﾛｸﾞ: the switches by their value names
    std::map<std::string, QCheckBox*> switches_;
    QLineEdit* logHead_ = nullptr;
};

}  // namespace marlo::ui
