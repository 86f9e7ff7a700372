#pragma once

#include "framework/Application.h"

class CMyTarvikApp : public CWinApp {
public:
    BOOL InitInstance() override;
};
