// The settings store kept in one human-readable file, "settings.conf" in the configuration folder.
//
// The file holds one section per key ("[Host/NIFTY]"; the main key's values come first, without a
// header) and one line per value: `Name = 123` for a number, `Name = "text"` for a text. Texts and
// names are written as UTF-8 when their Shift-JIS bytes convert there and back unchanged;
// otherwise, and for control bytes, the bytes are written as \xHH escapes, so every byte string
// comes back exactly. Saving writes a temporary file, syncs it, keeps the previous file as
// "settings.conf.bak" and renames the new one into place, so a save that is cut off at any point
// leaves either the old or the new file. A file that cannot be read back is moved aside and never
// overwritten.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

namespace marlo {

class SettingsFile : public ISettingsStore {
  public:
    // The points of a save, in order. A step hook sees each one before it is carried out.
    enum class SaveStep {
        OpenTemp,   // create the temporary file
        WriteHalf,  // half of the text has been written to it
        SyncTemp,   // everything written; flush it to the disk
        Backup,     // keep the current file as the backup
        Rename,     // put the temporary file in place
        SyncDir,    // flush the folder entry
    };

    // `dir` is the folder of the file; it is created (mode 0700) on the first save.
    explicit SettingsFile(std::string dir);
    ~SettingsFile() override;

    // Reads the file. A missing file gives an empty store and true. A file that cannot be parsed
    // or read gives an empty store, false and one message (UTF-8) for the user; with
    // `setAsideDamaged` an unparsable file is renamed "settings.conf.damaged-<time>" so that the
    // next save cannot overwrite it. Without it (a read-only look) the file stays where it is and
    // saving is refused.
    bool Load(std::string* message, bool setAsideDamaged = true);

    std::optional<int32_t> GetNumber(const std::string& key,
                                     const std::string& name) const override;
    std::optional<std::string> GetText(const std::string& key,
                                       const std::string& name) const override;
    void SetNumber(const std::string& key, const std::string& name, int32_t value) override;
    void SetText(const std::string& key, const std::string& name,
                 const std::string& value) override;
    void DeleteValue(const std::string& key, const std::string& name) override;
    void DeleteKey(const std::string& key) override;
    bool KeyExists(const std::string& key) const override;
    std::vector<std::string> SubKeys(const std::string& key) const override;
    std::vector<std::string> ValueNames(const std::string& key) const override;
    bool Save() override;

    // The text of the file as it would be saved, and the reverse (false with a reason and the line
    // number on an error; the store is then unchanged).
    std::string Serialize() const;
    bool Parse(const std::string& text, std::string* error);

    // Whether the last Load found a settings file (false on a first run).
    bool FileFound() const { return fileFound_; }
    const std::string& FilePath() const { return path_; }
    std::string BackupPath() const { return path_ + ".bak"; }
    // Why the last Save failed (UTF-8), empty after a successful one.
    std::string LastError() const;
    // For tests: returning false from the hook stops the save right there, as if the process had
    // been killed (nothing is cleaned up).
    void SetStepHook(std::function<bool(SaveStep)> hook) { hook_ = std::move(hook); }

  private:
    struct Value {
        std::string name;
        bool isText = false;
        int32_t number = 0;
        std::string text;
    };
    struct Node;

    std::string SerializeLocked() const;
    Node* Find(const std::string& key) const;
    Node* FindOrCreate(const std::string& key);
    Value* FindValue(const std::string& key, const std::string& name) const;
    Value& MakeValue(const std::string& key, const std::string& name);
    bool SetAside(std::string* asidePath);
    bool WriteFile(const std::string& text);

    mutable std::mutex mutex_;
    std::string dir_;
    std::string path_;
    std::unique_ptr<Node> root_;
    bool dirty_ = false;
    bool fileFound_ = false;
    // Set when the file on disk must not be replaced: it could not be read, or it is damaged and
    // could not be moved aside yet.
    bool mustNotOverwrite_ = false;
    bool pendingSetAside_ = false;
    std::string lastError_;
    std::function<bool(SaveStep)> hook_;
};

}  // namespace marlo
