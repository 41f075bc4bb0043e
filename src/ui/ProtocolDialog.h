// The protocol choice dialog: the list "転送ﾌﾟﾛﾄｺﾙ" of the protocols of one direction, titled
// "アップロード" or "ダウンロード", the first entry selected; a double click is OK.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

class QListWidget;

namespace marlo::ui {

class ProtocolDialog : public QDialog {
    Q_OBJECT
  public:
    // `sjisNames` are the entries in order (Shift-JIS); direction 1 is an upload.
    ProtocolDialog(int direction, const std::vector<std::string>& sjisNames, QWidget* parent);
    // The chosen entry (Shift-JIS), or nullopt when nothing is selected.
    std::optional<std::string> Chosen() const;
    QListWidget* List() { return list_; }

    // Shows the dialog; the chosen name, or nullopt on Cancel.
    static std::optional<std::string> Run(int direction, const std::vector<std::string>& sjisNames,
                                          QWidget* parent);

  private:
    std::vector<std::string> names_;
    QListWidget* list_;
};

}  // namespace marlo::ui
