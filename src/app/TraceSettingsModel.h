// The rules of the trace settings dialog "ﾄﾚｰｽ" (command 589): three category boxes that make up
// the trace mask and the trace file. The Qt dialog shows the values and calls Validate and Apply.
#pragma once

#include <optional>
#include <string>

#include "settings/Settings.h"

namespace marlo {

struct TraceSheetValues {
    bool main = false;      // "ﾒｲﾝ": line and connection, mask bit 1
    bool macro = false;     // "ﾏｸﾛ", mask bit 2
    bool transfer = false;  // "ﾌｧｲﾙ転送", mask bit 4
    std::string file;       // a path as the file system spells it

    static TraceSheetValues From(const Settings& s);
    // The mask made from the boxes alone.
    int Mask() const;
};

class TraceSettingsModel {
  public:
    explicit TraceSettingsModel(const Settings& s) : values(TraceSheetValues::From(s)) {}

    TraceSheetValues values;

    // A message for the user when the values cannot be taken; nullopt when they can.
    std::optional<std::string> Validate() const;
    // Stores the mask and the file in the settings. The caller hands them on to the process-wide
    // trace state (SetTraceMask, SetTraceFile).
    void Apply(Settings& s) const;
};

}  // namespace marlo
