// The preset list of the host property sheet ("Telnetﾎｽﾄ名の参照", "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞの参照"): two
// columns, the name and the value; OK (or a double-click) hands back the chosen row's value.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "hosts/LogonPresets.h"

class QTreeWidget;

namespace marlo::ui {

class PresetListDialog : public QDialog {
    Q_OBJECT
  public:
    // Titles and headers are UTF-8; the presets Shift-JIS.
    PresetListDialog(const std::string& title, const std::string& valueHeader,
                     const std::vector<NamedPreset>& presets, QWidget* parent);

    // The chosen row's value (Shift-JIS), nullopt on Cancel or without a row.
    std::optional<std::string> Chosen() const;

    static std::optional<std::string> Choose(const std::string& title,
                                             const std::string& valueHeader,
                                             const std::vector<NamedPreset>& presets,
                                             QWidget* parent);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void FitColumns();

    std::vector<NamedPreset> presets_;
    QTreeWidget* list_;
};

}  // namespace marlo::ui
