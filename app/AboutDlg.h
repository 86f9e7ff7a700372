#pragma once

#include "framework/Dialog.h"

class CAboutDlg : public CDialogEx {
public:
    CAboutDlg();
};
