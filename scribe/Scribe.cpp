// Scribe.exe: the line-drawing test program. Started without a command line; its window is the
// whole program and its end ends the process.
#include "framework/App.h"
#include "scribe/ScribeWindow.h"

namespace {

class ScribeApp : public fw::App {
protected:
    bool InitInstance() override
    {
        if (!window_.CreateMaximised()) {
            exitCode_ = 1;
            return false;
        }
        return true;
    }
    int ExitCode() override { return exitCode_; }

private:
    scribe::ScribeWindow window_;
    int exitCode_ = 0;
};

ScribeApp theApp;

} // namespace
