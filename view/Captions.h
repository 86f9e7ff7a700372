// Captions that carry state: the open button's is the port's state, the continuous button's the
// continuous read's.
#pragma once

inline const char* const kOpenPortCaption = "打开串口";
inline const char* const kClosePortCaption = "关闭串口";
inline const char* const kStartContinuousCaption = "连续读开始";
inline const char* const kStopContinuousCaption = "连续读停止";
