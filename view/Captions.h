// Captions that carry state: the open button's is the port's state, the continuous button's the
// continuous read's. The resource script takes the dialog's first captions from here.
#pragma once

#define OPEN_PORT_CAPTION "打开串口"
#define START_CONTINUOUS_CAPTION "连续读开始"

#ifndef RC_INVOKED
inline const char* const kOpenPortCaption = OPEN_PORT_CAPTION;
inline const char* const kClosePortCaption = "关闭串口";
inline const char* const kStartContinuousCaption = START_CONTINUOUS_CAPTION;
inline const char* const kStopContinuousCaption = "连续读停止";
#endif
