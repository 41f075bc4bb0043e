#include "app/TraceSettingsModel.h"

#include "settings/Trace.h"

namespace marlo {

TraceSheetValues TraceSheetValues::From(const Settings& s) {
    TraceSheetValues v;
    v.main = (s.TracePos & kTraceMain) != 0;
    v.macro = (s.TracePos & kTraceMacro) != 0;
    v.transfer = (s.TracePos & kTraceTransfer) != 0;
    v.file = s.TraceFile;
    return v;
}

int TraceSheetValues::Mask() const {
    return (main ? kTraceMain : 0) | (macro ? kTraceMacro : 0) | (transfer ? kTraceTransfer : 0);
}

std::optional<std::string> TraceSettingsModel::Validate() const {
    // An empty name would switch tracing off without a word: every append fails silently.
    if (values.file.find_first_not_of(" \t") == std::string::npos)
        return "ﾄﾚｰｽﾌｧｲﾙを指定してください.";
    if (values.file.size() > 259) return "ﾄﾚｰｽﾌｧｲﾙ名は259ﾊﾞｲﾄまでです.";
    if (values.file.find('\0') != std::string::npos) return "ﾄﾚｰｽﾌｧｲﾙ名が正しくありません.";
    return std::nullopt;
}

void TraceSettingsModel::Apply(Settings& s) const {
    s.TracePos = values.Mask();
    s.TraceFile = values.file;
}

}  // namespace marlo
