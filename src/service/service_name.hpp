#pragma once
// The name under which the service manager knows the service, shared by installation and runtime.

namespace vantrel {

inline constexpr const char* SERVICE_NAME = "VantrelHal";
inline constexpr const wchar_t* SERVICE_NAME_W = L"VantrelHal";

}  // namespace vantrel
