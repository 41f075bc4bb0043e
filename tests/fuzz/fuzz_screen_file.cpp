// The screen kept between runs ("lglog.txt"). Any file loads within the buffer (last line and
// dumb column in bounds), and the text saved from it loads back to the same text.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "terminal/ScreenBuffer.h"

namespace marlo::fuzz {

void FuzzOne(Input& in) {
    const int lines = 30 + in.Below(40);
    const int vtRows = in.Flag() ? 1 + in.Below(lines) : 0;
    const std::string file = in.Rest();
    ScreenBuffer loaded(lines);
    loaded.LoadText(file, vtRows);
    if (loaded.LastLine() < 0 || loaded.LastLine() >= lines) Fail("last line out of the buffer");
    if (loaded.DumbColumn() < 0 || loaded.DumbColumn() >= kBufferColumns)
        Fail("dumb column out of the line");
    const std::string saved = loaded.SaveText();
    ScreenBuffer again(lines);
    again.LoadText(saved, vtRows);
    ExpectSame(again.SaveText(), saved, "a saved screen loads back differently");
}

}  // namespace marlo::fuzz
