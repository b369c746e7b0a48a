// The Windows functions the keyboard-backlight script imports from kernel32.dll, hid.dll and
// setupapi.dll, as a Linux shared library that behaves as Microsoft documents them on x64: UTF-16
// names, the SetupAPI and HID parser records with their documented layouts, HID parser statuses,
// the last error (errno, which .NET reads after a SetLastError import on Linux) and BOOLEAN
// results whose upper bytes are not zero. The test host binds the script's compiled types to it
// and steers it through the sim_* functions: HID collections, the ThinkPad power-management
// driver, failures. Every call that reaches a device is logged; handles, device lists and
// preparsed data are counted so that a leak shows.
// Beyond its reach: the Windows x64 calling convention itself (calls here follow the platform's),
// the .NET Framework marshaller and Add-Type of Windows PowerShell 5.1, and real drivers and
// firmware, whose answers are modelled only as far as Microsoft documents them.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Handle = void*;
// A BOOLEAN travels in AL; the rest of RAX is left as it happens to be. A caller that reads a
// four-byte BOOL sees FALSE as true.
constexpr uint32_t BOOLEAN_FALSE = 0xFFFFFF00;
constexpr uint32_t BOOLEAN_TRUE = 0xFFFFFF01;
const Handle INVALID_HANDLE_VALUE = reinterpret_cast<Handle>(intptr_t{-1});

constexpr int32_t HIDP_STATUS_SUCCESS = 0x00110000;
constexpr int32_t HIDP_STATUS_INVALID_PREPARSED_DATA = int32_t(0xC0110001);
constexpr int32_t HIDP_STATUS_INVALID_REPORT_TYPE = int32_t(0xC0110002);
constexpr int32_t HIDP_STATUS_INVALID_REPORT_LENGTH = int32_t(0xC0110003);
constexpr int32_t HIDP_STATUS_USAGE_NOT_FOUND = int32_t(0xC0110004);
constexpr int32_t HIDP_STATUS_INCOMPATIBLE_REPORT_ID = int32_t(0xC011000A);
constexpr int32_t HIDP_STATUS_REPORT_DOES_NOT_EXIST = int32_t(0xC0110010);

constexpr int ERROR_INVALID_FUNCTION = 1, ERROR_FILE_NOT_FOUND = 2, ERROR_ACCESS_DENIED = 5,
              ERROR_INVALID_HANDLE = 6, ERROR_INVALID_PARAMETER = 87, ERROR_INSUFFICIENT_BUFFER = 122,
              ERROR_NO_MORE_ITEMS = 259, ERROR_INVALID_FLAGS = 1004, ERROR_INVALID_USER_BUFFER = 1784;
constexpr uint32_t GENERIC_WRITE = 0x40000000, DIGCF_DEVICEINTERFACE = 0x10;
constexpr uint32_t TP_GET_STATE = 0x222680, TP_SET_STATE = 0x222684;

struct Guid { uint32_t data1; uint16_t data2, data3; uint8_t data4[8]; };
constexpr Guid HID_GUID = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

struct SpDeviceInterfaceData { uint32_t cbSize; Guid InterfaceClassGuid; uint32_t Flags; uintptr_t Reserved; };
static_assert(sizeof(SpDeviceInterfaceData) == 32);

struct HidpCaps {
    uint16_t Usage, UsagePage, InputReportByteLength, OutputReportByteLength, FeatureReportByteLength;
    uint16_t Reserved[17];
    uint16_t NumberLinkCollectionNodes, NumberInputButtonCaps, NumberInputValueCaps, NumberInputDataIndices,
        NumberOutputButtonCaps, NumberOutputValueCaps, NumberOutputDataIndices, NumberFeatureButtonCaps,
        NumberFeatureValueCaps, NumberFeatureDataIndices;
};
static_assert(sizeof(HidpCaps) == 64);

struct HidpValueCaps {
    uint16_t UsagePage;
    uint8_t ReportID, IsAlias;
    uint16_t BitField, LinkCollection, LinkUsage, LinkUsagePage;
    uint8_t IsRange, IsStringRange, IsDesignatorRange, IsAbsolute, HasNull, Reserved;
    uint16_t BitSize, ReportCount, Reserved2[5];
    uint32_t UnitsExp, Units;
    int32_t LogicalMin, LogicalMax, PhysicalMin, PhysicalMax;
    // Range form; the NotRange form puts Usage where UsageMin is and DataIndex where DataIndexMin is.
    uint16_t UsageMin, UsageMax, StringMin, StringMax, DesignatorMin, DesignatorMax, DataIndexMin, DataIndexMax;
};
static_assert(sizeof(HidpValueCaps) == 72 && offsetof(HidpValueCaps, LogicalMin) == 40 &&
              offsetof(HidpValueCaps, UsageMin) == 56);

// One value of a report: 8 or 16 bits right after the report id byte.
struct Value {
    uint16_t page, usage_min, usage_max;
    bool range;
    uint8_t report_id;
    uint16_t bits;
    int32_t logical_min, logical_max;
};

// A call that fails with a system error code from its n-th time on (n = from).
struct Fault {
    int error = 0, from = 1, calls = 0;
    int next() { return ++calls >= from ? error : 0; }
};

struct Collection {
    std::u16string path;
    uint16_t page = 0, usage = 0, output_length = 0, feature_length = 0;
    std::vector<Value> values[3];  // input, output, feature
    uint32_t level = 0;
    int64_t level_after_set = -1;  // what the device keeps after a set; -1: the value sent
    Fault open, preparsed, get_feature, write_file, set_output, set_feature;
    int32_t set_usage_status = HIDP_STATUS_SUCCESS;
};

struct ThinkPad {
    bool present = false;
    uint32_t state = 0;
    int64_t level_after_set = -1;
    uint32_t failing_code = 0;
    int failing_error = 0;
};

struct Open { int device; uint32_t access; };  // device -1: the ThinkPad driver
struct Preparsed { int device; };

std::vector<Collection> collections;
ThinkPad thinkpad;
std::vector<Open*> handles;
std::vector<Preparsed*> preparsed_live;
int device_lists = 0;
std::string calls;

const std::u16string THINKPAD_PATH = u"\\\\.\\IBMPmDrv";

std::string ascii(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

std::u16string utf16(const char* text) {
    std::u16string out;
    for (; *text; ++text) out += char16_t(static_cast<unsigned char>(*text));
    return out;
}

void log(const std::string& line) { calls += line + "\n"; }

std::string hex_bytes(const uint8_t* bytes, uint32_t length) {
    std::string out;
    char byte[4];
    for (uint32_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", bytes[i]);
        out += byte;
    }
    return out;
}

std::string failed(int error) { return " -> erreur " + std::to_string(error); }

Open* find_handle(Handle handle) {
    for (Open* open : handles) if (open == handle) return open;
    return nullptr;
}

Collection* hid_of(Handle handle) {
    Open* open = find_handle(handle);
    return open && open->device >= 0 ? &collections[open->device] : nullptr;
}

Preparsed* find_preparsed(void* pointer) {
    for (Preparsed* p : preparsed_live) if (p == pointer) return p;
    return nullptr;
}

uint16_t report_length(const Collection& c, int type) {
    return type == 1 ? c.output_length : type == 2 ? c.feature_length : 0;
}

// The HID parser's lookup of a usage in a report, as HidP_GetUsageValue and HidP_SetUsageValue do.
int32_t locate(int type, uint16_t page, uint16_t usage, void* preparsed, const uint8_t* report, uint32_t length,
               const Collection** found, const Value** value) {
    Preparsed* p = find_preparsed(preparsed);
    if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (type < 0 || type > 2) return HIDP_STATUS_INVALID_REPORT_TYPE;
    const Collection& c = collections[p->device];
    if (c.values[type].empty()) return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    if (length != report_length(c, type)) return HIDP_STATUS_INVALID_REPORT_LENGTH;
    for (const Value& v : c.values[type]) {
        if (v.page != page || usage < v.usage_min || usage > v.usage_max) continue;
        if (1u + v.bits / 8 > length) return HIDP_STATUS_INVALID_REPORT_LENGTH;
        if (report[0] != v.report_id) return HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
        *found = &c;
        *value = &v;
        return HIDP_STATUS_SUCCESS;
    }
    return HIDP_STATUS_USAGE_NOT_FOUND;
}

// The level value of a report the device receives, when the report carries it.
void receive(Collection& c, int type, const uint8_t* report, uint32_t length) {
    for (const Value& v : c.values[type]) {
        if (v.page == 0x0C && v.usage_min <= 0x7B && 0x7B <= v.usage_max && report[0] == v.report_id) {
            uint32_t sent = length < 2 ? 0 : report[1] | (v.bits > 8 && length > 2 ? uint32_t(report[2]) << 8 : 0);
            c.level = c.level_after_set >= 0 ? uint32_t(c.level_after_set) : sent;
            return;
        }
    }
}

uint32_t send_report(const char* name, Handle handle, const uint8_t* report, uint32_t length, int type,
                     Fault Collection::*fault, bool boolean) {
    uint32_t false_value = boolean ? BOOLEAN_FALSE : 0, true_value = boolean ? BOOLEAN_TRUE : 1;
    Collection* c = hid_of(handle);
    std::string line = std::string(name) + " " + hex_bytes(report, length);
    int code = !c ? ERROR_INVALID_HANDLE
               : !(find_handle(handle)->access & GENERIC_WRITE) ? ERROR_ACCESS_DENIED
               : length != report_length(*c, type) ? ERROR_INVALID_PARAMETER
               : (c->*fault).next();
    if (code) {
        log(line + failed(code));
        errno = code;
        return false_value;
    }
    log(line);
    receive(*c, type, report, length);
    return true_value;
}

}  // namespace

extern "C" {

// ---- Steering, for the test host ----

void sim_reset() {
    collections.clear();
    thinkpad = ThinkPad{};
    for (Open* open : handles) delete open;
    handles.clear();
    for (Preparsed* p : preparsed_live) delete p;
    preparsed_live.clear();
    device_lists = 0;
    calls.clear();
}

int sim_add_collection(const char* path, uint16_t page, uint16_t usage, uint16_t output_length,
                       uint16_t feature_length, uint32_t level) {
    Collection c;
    c.path = utf16(path);
    c.page = page;
    c.usage = usage;
    c.output_length = output_length;
    c.feature_length = feature_length;
    c.level = level;
    collections.push_back(c);
    return int(collections.size()) - 1;
}

void sim_add_value(int collection, int type, uint16_t page, uint8_t report_id, int range, uint16_t usage_min,
                   uint16_t usage_max, int32_t logical_min, int32_t logical_max, uint16_t bits) {
    collections.at(collection).values[type].push_back(
        Value{page, usage_min, range ? usage_max : usage_min, range != 0, report_id, bits, logical_min, logical_max});
}

// A failing call: "open", "preparsed", "get_feature", "write_file", "set_output" or "set_feature"
// fails with a system error code from its n-th call on (1: always).
void sim_fail(int collection, const char* call, int error, int from) {
    Collection& c = collections.at(collection);
    std::string name = call;
    Fault* fault = name == "open" ? &c.open : name == "preparsed" ? &c.preparsed
                   : name == "get_feature" ? &c.get_feature : name == "write_file" ? &c.write_file
                   : name == "set_output" ? &c.set_output : name == "set_feature" ? &c.set_feature : nullptr;
    if (fault) *fault = Fault{error, from, 0};
}

// The HID parser's answer to a value put into a report, and the level the device keeps after a
// set (-1: the value sent).
void sim_behave(int collection, int32_t set_usage_status, int64_t level_after_set) {
    collections.at(collection).set_usage_status = set_usage_status;
    collections.at(collection).level_after_set = level_after_set;
}

void sim_thinkpad(uint32_t state, int64_t level_after_set, uint32_t failing_code, int failing_error) {
    thinkpad = ThinkPad{true, state, level_after_set, failing_code, failing_error};
}

const char* sim_calls() { return calls.c_str(); }
int sim_open_handles() { return int(handles.size()); }
int sim_preparsed() { return int(preparsed_live.size()); }
int sim_device_lists() { return device_lists; }

// ---- kernel32.dll ----

Handle CreateFileW(const char16_t* name, uint32_t access, uint32_t share, void* /*security*/, uint32_t disposition,
                   uint32_t flags, Handle /*template*/) {
    std::u16string path = name;
    char line[64];
    std::snprintf(line, sizeof line, " %X %X %u %X", access, share, disposition, flags);
    int device = -2;
    if (path == THINKPAD_PATH && thinkpad.present) device = -1;
    for (size_t i = 0; i < collections.size(); ++i) {
        if (collections[i].path == path) device = int(i);
    }
    int error = device == -2 ? ERROR_FILE_NOT_FOUND : device >= 0 ? collections[device].open.next() : 0;
    if (error) {
        log("CreateFileW " + ascii(path) + line + failed(error));
        errno = error;
        return INVALID_HANDLE_VALUE;
    }
    log("CreateFileW " + ascii(path) + line);
    handles.push_back(new Open{device, access});
    return handles.back();
}

int32_t CloseHandle(Handle handle) {
    for (size_t i = 0; i < handles.size(); ++i) {
        if (handles[i] == handle) {
            delete handles[i];
            handles.erase(handles.begin() + long(i));
            return 1;
        }
    }
    errno = ERROR_INVALID_HANDLE;
    return 0;
}

int32_t WriteFile(Handle file, const uint8_t* buffer, uint32_t length, uint32_t* written, void* /*overlapped*/) {
    uint32_t ok = send_report("WriteFile", file, buffer, length, 1, &Collection::write_file, false);
    if (written) *written = ok ? length : 0;
    return int32_t(ok);
}

int32_t DeviceIoControl(Handle device, uint32_t code, const uint8_t* input, uint32_t input_size, uint8_t* output,
                        uint32_t output_size, uint32_t* returned, void* /*overlapped*/) {
    Open* open = find_handle(device);
    if (!open || open->device != -1) {
        errno = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (input_size != 4 || output_size < 4 || !input || !output) {
        log("DeviceIoControl " + std::to_string(code) + failed(ERROR_INVALID_PARAMETER));
        errno = ERROR_INVALID_PARAMETER;
        return 0;
    }
    uint32_t argument = input[0] | input[1] << 8 | input[2] << 16 | uint32_t(input[3]) << 24;
    char line[64];
    std::snprintf(line, sizeof line, "DeviceIoControl %X %X", code, argument);
    int error = code == thinkpad.failing_code ? thinkpad.failing_error
                : code == TP_GET_STATE || code == TP_SET_STATE ? 0 : ERROR_INVALID_FUNCTION;
    if (error) {
        log(line + failed(error));
        errno = error;
        return 0;
    }
    if (code == TP_SET_STATE) {
        uint32_t level = thinkpad.level_after_set >= 0 ? uint32_t(thinkpad.level_after_set) : argument & 0xF;
        thinkpad.state = (thinkpad.state & ~0xFu) | level;
    }
    uint32_t answer = thinkpad.state;
    for (int i = 0; i < 4; ++i) output[i] = uint8_t(answer >> (8 * i));
    if (returned) *returned = 4;
    log(line);
    return 1;
}

// ---- setupapi.dll ----

Handle SetupDiGetClassDevsW(const Guid* class_guid, const char16_t* /*enumerator*/, void* /*parent*/, uint32_t flags) {
    if (!class_guid || !(flags & DIGCF_DEVICEINTERFACE)) {
        errno = ERROR_INVALID_FLAGS;
        return INVALID_HANDLE_VALUE;
    }
    ++device_lists;
    return &device_lists;
}

int32_t SetupDiDestroyDeviceInfoList(Handle set) {
    if (set != &device_lists || device_lists == 0) {
        errno = ERROR_INVALID_HANDLE;
        return 0;
    }
    --device_lists;
    return 1;
}

// The interfaces of the class named here: the HID collections for the HID class, none otherwise.
int32_t SetupDiEnumDeviceInterfaces(Handle set, void* /*info*/, const Guid* class_guid, uint32_t index,
                                    SpDeviceInterfaceData* data) {
    if (set != &device_lists || device_lists == 0) {
        errno = ERROR_INVALID_HANDLE;
        return 0;
    }
    if (!data || data->cbSize != sizeof(SpDeviceInterfaceData)) {
        errno = ERROR_INVALID_USER_BUFFER;
        return 0;
    }
    if (!class_guid || std::memcmp(class_guid, &HID_GUID, sizeof(Guid)) != 0 || index >= collections.size()) {
        errno = ERROR_NO_MORE_ITEMS;
        return 0;
    }
    data->InterfaceClassGuid = HID_GUID;
    data->Flags = 1;  // SPINT_ACTIVE
    data->Reserved = index + 1;
    return 1;
}

int32_t SetupDiGetDeviceInterfaceDetailW(Handle set, const SpDeviceInterfaceData* data, uint8_t* detail,
                                         uint32_t size, uint32_t* required, void* /*info*/) {
    if (set != &device_lists || !data || data->cbSize != sizeof(SpDeviceInterfaceData) ||
        data->Reserved == 0 || data->Reserved > collections.size()) {
        errno = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const std::u16string& path = collections[data->Reserved - 1].path;
    // The fixed part: a DWORD cbSize then the path; sizeof is 8 on x64.
    uint32_t needed = uint32_t(4 + (path.size() + 1) * 2);
    if (required) *required = needed;
    if (!detail) {
        errno = size ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    uint32_t cb_size;
    std::memcpy(&cb_size, detail, 4);
    if (cb_size != 8) {
        errno = ERROR_INVALID_USER_BUFFER;
        return 0;
    }
    if (size < needed) {
        errno = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(detail + 4, path.c_str(), (path.size() + 1) * 2);
    return 1;
}

// ---- hid.dll ----

void HidD_GetHidGuid(Guid* guid) { *guid = HID_GUID; }

uint32_t HidD_GetPreparsedData(Handle device, void** preparsed) {
    Open* open = find_handle(device);
    int error = !open || open->device < 0 ? ERROR_INVALID_HANDLE : collections[open->device].preparsed.next();
    if (error) {
        errno = error;
        return BOOLEAN_FALSE;
    }
    preparsed_live.push_back(new Preparsed{open->device});
    *preparsed = preparsed_live.back();
    return BOOLEAN_TRUE;
}

uint32_t HidD_FreePreparsedData(void* preparsed) {
    for (size_t i = 0; i < preparsed_live.size(); ++i) {
        if (preparsed_live[i] == preparsed) {
            delete preparsed_live[i];
            preparsed_live.erase(preparsed_live.begin() + long(i));
            return BOOLEAN_TRUE;
        }
    }
    return BOOLEAN_FALSE;
}

uint32_t HidD_GetFeature(Handle device, uint8_t* report, uint32_t length) {
    Collection* c = hid_of(device);
    std::string line = "HidD_GetFeature " + hex_bytes(report, length);
    const Value* value = nullptr;
    if (c) {
        for (const Value& v : c->values[2]) {
            if (v.report_id == report[0]) value = &v;
        }
    }
    int error = !c ? ERROR_INVALID_HANDLE : length != c->feature_length || !value ? ERROR_INVALID_PARAMETER
                                                                                  : c->get_feature.next();
    if (error) {
        log(line + failed(error));
        errno = error;
        return BOOLEAN_FALSE;
    }
    std::memset(report + 1, 0, length - 1);
    if (value->page == 0x0C && value->usage_min <= 0x7B && 0x7B <= value->usage_max) {
        report[1] = uint8_t(c->level);
        if (value->bits > 8 && length > 2) report[2] = uint8_t(c->level >> 8);
    }
    log(line + " -> " + hex_bytes(report, length));
    return BOOLEAN_TRUE;
}

uint32_t HidD_SetFeature(Handle device, const uint8_t* report, uint32_t length) {
    return send_report("HidD_SetFeature", device, report, length, 2, &Collection::set_feature, true);
}

uint32_t HidD_SetOutputReport(Handle device, const uint8_t* report, uint32_t length) {
    return send_report("HidD_SetOutputReport", device, report, length, 1, &Collection::set_output, true);
}

int32_t HidP_GetCaps(void* preparsed, HidpCaps* caps) {
    Preparsed* p = find_preparsed(preparsed);
    if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    const Collection& c = collections[p->device];
    *caps = HidpCaps{};
    caps->Usage = c.usage;
    caps->UsagePage = c.page;
    caps->OutputReportByteLength = c.output_length;
    caps->FeatureReportByteLength = c.feature_length;
    caps->NumberLinkCollectionNodes = 1;
    caps->NumberOutputValueCaps = caps->NumberOutputDataIndices = uint16_t(c.values[1].size());
    caps->NumberFeatureValueCaps = caps->NumberFeatureDataIndices = uint16_t(c.values[2].size());
    return HIDP_STATUS_SUCCESS;
}

int32_t HidP_GetValueCaps(int type, HidpValueCaps* caps, uint16_t* length, void* preparsed) {
    Preparsed* p = find_preparsed(preparsed);
    if (!p) return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (type < 0 || type > 2) return HIDP_STATUS_INVALID_REPORT_TYPE;
    const Collection& c = collections[p->device];
    uint16_t n = 0;
    for (const Value& v : c.values[type]) {
        if (n == *length) break;
        HidpValueCaps cap{};
        cap.UsagePage = v.page;
        cap.ReportID = v.report_id;
        cap.BitField = 0x02;  // Data, Variable, Absolute
        cap.LinkUsage = c.usage;
        cap.LinkUsagePage = c.page;
        cap.IsRange = v.range;
        cap.IsAbsolute = 1;
        cap.BitSize = v.bits;
        cap.ReportCount = 1;
        cap.LogicalMin = v.logical_min;
        cap.LogicalMax = v.logical_max;
        cap.UsageMin = v.usage_min;
        if (v.range) cap.UsageMax = v.usage_max;
        cap.DataIndexMin = n;
        if (v.range) cap.DataIndexMax = uint16_t(n + v.usage_max - v.usage_min);
        caps[n++] = cap;
    }
    *length = n;
    return HIDP_STATUS_SUCCESS;
}

int32_t HidP_GetUsageValue(int type, uint16_t page, uint16_t /*link*/, uint16_t usage, uint32_t* value,
                           void* preparsed, const uint8_t* report, uint32_t length) {
    const Collection* c = nullptr;
    const Value* v = nullptr;
    int32_t status = locate(type, page, usage, preparsed, report, length, &c, &v);
    if (status != HIDP_STATUS_SUCCESS) return status;
    *value = report[1] | (v->bits > 8 ? uint32_t(report[2]) << 8 : 0);
    return status;
}

int32_t HidP_SetUsageValue(int type, uint16_t page, uint16_t /*link*/, uint16_t usage, uint32_t value,
                           void* preparsed, uint8_t* report, uint32_t length) {
    const Collection* c = nullptr;
    const Value* v = nullptr;
    int32_t status = locate(type, page, usage, preparsed, report, length, &c, &v);
    if (status != HIDP_STATUS_SUCCESS) return status;
    if (c->set_usage_status != HIDP_STATUS_SUCCESS) return c->set_usage_status;
    report[1] = uint8_t(value);
    if (v->bits > 8) report[2] = uint8_t(value >> 8);
    return status;
}

}  // extern "C"
