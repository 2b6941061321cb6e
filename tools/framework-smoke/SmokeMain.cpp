#include "SmokeDialog.h"

#include "framework/App.h"

class SmokeApp : public fw::App {
protected:
    bool InitInstance() override
    {
        SmokeDialog dialog;
        SetMainWindow(&dialog);
        dialog.RunModal();
        SetMainWindow(nullptr);
        return false;
    }
};

SmokeApp theApp;
