// The main window.
#pragma once

#include "ui/WindowBase.h"

class TVantrelForm : public TWindow {
public:
    // Creates the window, owned by the application window, and shows it.
    explicit TVantrelForm(bool autoMode);
    ~TVantrelForm() override;

    static constexpr int ClientWidth = 552;
    static constexpr int DesignClientHeight = 292;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleDestroyed() override;

private:
    bool FAutoMode;
};
