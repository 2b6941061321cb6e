#include "SmokeDialog.h"

#include "framework/App.h"

class SmokeApp : public fw::App {
protected:
    bool InitInstance() override
    {
        SmokeDialog dialog;
        dialog.RunModal();
        return false;
    }
};

SmokeApp theApp;
