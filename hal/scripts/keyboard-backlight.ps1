# Keyboard backlight: reads the level and, in write mode, sets it then reads it back, through the
# first of four back ends that reaches the backlight: the Framework laptop tools, the ThinkPad
# power-management driver, the standard HID keyboard backlight, the Lenovo WMI lighting class.
# Prints exactly one compact JSON record on standard output and exits 0 on every handled path.
# Written for Windows PowerShell 5.1; the embedded C# compiles with its C# 5 compiler.
param(
    [ValidateSet('read', 'write')]
    [string]$Mode = 'read',
    [int]$Level = 0,
    [string]$FrameworkDir = ''
)

$ErrorActionPreference = 'Stop'
# No byte-order mark: the reader takes the first byte as the start of the record.
[Console]::OutputEncoding = New-Object System.Text.UTF8Encoding $false

$script:Result = [ordered]@{
    available = $false
    known     = $false
    level     = 0
    max_level = 2
    source    = ''
    applied   = $false
    verified  = $false
    reason    = ''
}
$script:Notes = New-Object System.Collections.Generic.List[string]

# ThinkPad power-management driver: one 32-bit value in, one out, per control code.
$TpKbBacklightSource = @'
using System;
using System.Runtime.InteropServices;

public static class TpKbBacklight
{
    public const uint GetStateCode = 0x222680;
    public const uint SetStateCode = 0x222684;

    const uint GenericRead = 0x80000000;
    const uint ShareRead = 0x00000001;
    const uint OpenExisting = 3;

    [DllImport("kernel32.dll", SetLastError = true, CharSet = CharSet.Unicode, EntryPoint = "CreateFileW")]
    static extern IntPtr CreateFile(string name, uint access, uint share, IntPtr security,
                                    uint disposition, uint flags, IntPtr template);

    [DllImport("kernel32.dll", SetLastError = true)]
    static extern bool DeviceIoControl(IntPtr device, uint code, byte[] input, uint inputSize,
                                       byte[] output, uint outputSize, out uint returned,
                                       IntPtr overlapped);

    [DllImport("kernel32.dll", SetLastError = true)]
    static extern bool CloseHandle(IntPtr handle);

    static byte[] LittleEndian(uint value)
    {
        return new byte[] { (byte)value, (byte)(value >> 8), (byte)(value >> 16), (byte)(value >> 24) };
    }

    public static uint Call(uint code, uint input)
    {
        IntPtr handle = CreateFile(@"\\.\IBMPmDrv", GenericRead, ShareRead, IntPtr.Zero, OpenExisting, 0, IntPtr.Zero);
        if (handle == IntPtr.Zero || handle == new IntPtr(-1))
        {
            int openError = Marshal.GetLastWin32Error();
            throw new InvalidOperationException("IBMPmDrv absent (erreur " + openError + ")");
        }
        try
        {
            byte[] output = new byte[4];
            uint returned;
            if (!DeviceIoControl(handle, code, LittleEndian(input), 4, output, 4, out returned, IntPtr.Zero))
            {
                int callError = Marshal.GetLastWin32Error();
                throw new InvalidOperationException("DeviceIoControl " + code + " (erreur " + callError + ")");
            }
            return (uint)output[0] | ((uint)output[1] << 8) | ((uint)output[2] << 16) | ((uint)output[3] << 24);
        }
        finally
        {
            CloseHandle(handle);
        }
    }

    // Level (bits 3-0), maximum level (bits 11-8), ready (bits 19-16 equal 5), bit 21, raw state.
    public static long[] Decode(uint state)
    {
        return new long[] {
            state & 0xF,
            (state >> 8) & 0xF,
            ((state >> 16) & 0xF) == 5 ? 1 : 0,
            (state & 0x00200000) != 0 ? 1 : 0,
            state
        };
    }

    // The set argument for a level: 0x100 when bit 21 is set, the state's bits 7-4, the level.
    public static uint SetArgument(uint state, int level)
    {
        if (((state >> 16) & 0xF) != 5)
        {
            throw new InvalidOperationException("retroeclairage non pret (0x" + state.ToString("X") + ")");
        }
        uint argument = (state & 0x00200000) != 0 ? 0x100u : 0u;
        return argument | (state & 0xF0) | (uint)level;
    }

    public static long[] Read()
    {
        return Decode(Call(GetStateCode, 0));
    }

    public static void Write(int level)
    {
        Call(SetStateCode, SetArgument(Call(GetStateCode, 0), level));
    }
}
'@

# Standard HID keyboard backlight: the Consumer page (0x0C) keyboard-backlight collection (usage
# 0x07) with its "Set Level" value (usage 0x7B), as recent Windows versions offer it.
$HidKbBacklightSource = @'
using System;
using System.Runtime.InteropServices;

public static class HidKbBacklight
{
    public const int StatusSuccess = 0x00110000;
    public const uint DigcfPresent = 0x02;
    public const uint DigcfDeviceInterface = 0x10;
    public const uint GenericRead = 0x80000000;
    public const uint GenericWrite = 0x40000000;
    public const uint ShareRead = 0x00000001;
    public const uint ShareWrite = 0x00000002;
    public const uint OpenExisting = 3;
    public const uint FileAttributeNormal = 0x80;
    public const int InputReport = 0;
    public const int OutputReport = 1;
    public const int FeatureReport = 2;
    public const ushort ConsumerPage = 0x0C;
    public const ushort KeyboardBacklightUsage = 0x07;
    public const ushort SetLevelUsage = 0x7B;

    public sealed class Device
    {
        public string Path;
        public ushort OutputLength;
        public ushort FeatureLength;
        public byte ReportId;
        public byte FeatureReportId;
        public bool HasOutput;
        public bool HasFeature;
        public int LogicalMin;
        public int LogicalMax;
        public int FeatureLogicalMin;
        public int FeatureLogicalMax;
    }

    [StructLayout(LayoutKind.Sequential)]
    struct SpDeviceInterfaceData
    {
        public uint Size;
        public Guid InterfaceClassGuid;
        public uint Flags;
        public IntPtr Reserved;
    }

    [StructLayout(LayoutKind.Sequential)]
    struct HidpCaps
    {
        public ushort Usage;
        public ushort UsagePage;
        public ushort InputReportByteLength;
        public ushort OutputReportByteLength;
        public ushort FeatureReportByteLength;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 17)]
        public ushort[] Reserved;
        public ushort NumberLinkCollectionNodes;
        public ushort NumberInputButtonCaps;
        public ushort NumberInputValueCaps;
        public ushort NumberInputDataIndices;
        public ushort NumberOutputButtonCaps;
        public ushort NumberOutputValueCaps;
        public ushort NumberOutputDataIndices;
        public ushort NumberFeatureButtonCaps;
        public ushort NumberFeatureValueCaps;
        public ushort NumberFeatureDataIndices;
    }

    // The union at the end is declared in its Range form: NotRange.Usage shares UsageMin's place.
    [StructLayout(LayoutKind.Sequential)]
    struct HidpValueCaps
    {
        public ushort UsagePage;
        public byte ReportId;
        public byte IsAlias;
        public ushort BitField;
        public ushort LinkCollection;
        public ushort LinkUsage;
        public ushort LinkUsagePage;
        public byte IsRange;
        public byte IsStringRange;
        public byte IsDesignatorRange;
        public byte IsAbsolute;
        public byte HasNull;
        public byte Reserved;
        public ushort BitSize;
        public ushort ReportCount;
        public ushort Reserved2a;
        public ushort Reserved2b;
        public ushort Reserved2c;
        public ushort Reserved2d;
        public ushort Reserved2e;
        public uint UnitsExp;
        public uint Units;
        public int LogicalMin;
        public int LogicalMax;
        public int PhysicalMin;
        public int PhysicalMax;
        public ushort UsageMin;
        public ushort UsageMax;
        public ushort StringMin;
        public ushort StringMax;
        public ushort DesignatorMin;
        public ushort DesignatorMax;
        public ushort DataIndexMin;
        public ushort DataIndexMax;
    }

    [DllImport("hid.dll")]
    static extern void HidD_GetHidGuid(out Guid guid);

    // The HidD_ functions return a one-byte BOOLEAN: the rest of the return register is undefined,
    // so a FALSE read as a four-byte BOOL can look true.
    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    static extern bool HidD_GetPreparsedData(IntPtr device, out IntPtr preparsed);

    [DllImport("hid.dll")]
    [return: MarshalAs(UnmanagedType.U1)]
    static extern bool HidD_FreePreparsedData(IntPtr preparsed);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    static extern bool HidD_GetFeature(IntPtr device, byte[] report, uint length);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    static extern bool HidD_SetFeature(IntPtr device, byte[] report, uint length);

    [DllImport("hid.dll", SetLastError = true)]
    [return: MarshalAs(UnmanagedType.U1)]
    static extern bool HidD_SetOutputReport(IntPtr device, byte[] report, uint length);

    [DllImport("hid.dll")]
    static extern int HidP_GetCaps(IntPtr preparsed, out HidpCaps caps);

    [DllImport("hid.dll")]
    static extern int HidP_GetValueCaps(int reportType, [In, Out] HidpValueCaps[] caps, ref ushort length,
                                        IntPtr preparsed);

    [DllImport("hid.dll")]
    static extern int HidP_GetUsageValue(int reportType, ushort usagePage, ushort linkCollection, ushort usage,
                                         out uint value, IntPtr preparsed, byte[] report, uint length);

    [DllImport("hid.dll")]
    static extern int HidP_SetUsageValue(int reportType, ushort usagePage, ushort linkCollection, ushort usage,
                                         uint value, IntPtr preparsed, byte[] report, uint length);

    [DllImport("setupapi.dll", SetLastError = true, CharSet = CharSet.Unicode, EntryPoint = "SetupDiGetClassDevsW")]
    static extern IntPtr SetupDiGetClassDevs(ref Guid classGuid, IntPtr enumerator, IntPtr parent, uint flags);

    [DllImport("setupapi.dll", SetLastError = true)]
    static extern bool SetupDiEnumDeviceInterfaces(IntPtr set, IntPtr info, ref Guid classGuid, uint index,
                                                   ref SpDeviceInterfaceData data);

    [DllImport("setupapi.dll", SetLastError = true, CharSet = CharSet.Unicode,
               EntryPoint = "SetupDiGetDeviceInterfaceDetailW")]
    static extern bool SetupDiGetDeviceInterfaceDetail(IntPtr set, ref SpDeviceInterfaceData data, IntPtr detail,
                                                       uint size, out uint required, IntPtr info);

    [DllImport("setupapi.dll", SetLastError = true)]
    static extern bool SetupDiDestroyDeviceInfoList(IntPtr set);

    [DllImport("kernel32.dll", SetLastError = true, CharSet = CharSet.Unicode, EntryPoint = "CreateFileW")]
    static extern IntPtr CreateFile(string name, uint access, uint share, IntPtr security,
                                    uint disposition, uint flags, IntPtr template);

    [DllImport("kernel32.dll", SetLastError = true)]
    static extern bool WriteFile(IntPtr file, byte[] buffer, uint length, out uint written, IntPtr overlapped);

    [DllImport("kernel32.dll", SetLastError = true)]
    static extern bool CloseHandle(IntPtr handle);

    static bool IsValid(IntPtr handle)
    {
        return handle != IntPtr.Zero && handle != new IntPtr(-1);
    }

    static IntPtr Open(string path)
    {
        return CreateFile(path, GenericRead | GenericWrite, ShareRead | ShareWrite, IntPtr.Zero, OpenExisting,
                          FileAttributeNormal, IntPtr.Zero);
    }

    // The first capability of one report type that carries the level, or null.
    static HidpValueCaps? FindLevelValue(int reportType, ushort count, IntPtr preparsed)
    {
        if (count == 0) return null;
        HidpValueCaps[] caps = new HidpValueCaps[count];
        ushort length = count;
        if (HidP_GetValueCaps(reportType, caps, ref length, preparsed) != StatusSuccess) return null;
        for (int i = 0; i < length && i < caps.Length; i++)
        {
            HidpValueCaps cap = caps[i];
            if (cap.UsagePage != ConsumerPage) continue;
            bool carriesLevel = cap.IsRange != 0
                ? cap.UsageMin <= SetLevelUsage && SetLevelUsage <= cap.UsageMax
                : cap.UsageMin == SetLevelUsage;
            if (carriesLevel) return cap;
        }
        return null;
    }

    static Device Inspect(string path)
    {
        IntPtr handle = Open(path);
        if (!IsValid(handle)) return null;
        IntPtr preparsed = IntPtr.Zero;
        try
        {
            if (!HidD_GetPreparsedData(handle, out preparsed)) return null;
            HidpCaps caps;
            if (HidP_GetCaps(preparsed, out caps) != StatusSuccess) return null;
            if (caps.UsagePage != ConsumerPage || caps.Usage != KeyboardBacklightUsage) return null;
            HidpValueCaps? output = FindLevelValue(OutputReport, caps.NumberOutputValueCaps, preparsed);
            HidpValueCaps? feature = FindLevelValue(FeatureReport, caps.NumberFeatureValueCaps, preparsed);
            if (!output.HasValue && !feature.HasValue) return null;

            Device device = new Device();
            device.Path = path;
            device.OutputLength = caps.OutputReportByteLength;
            device.FeatureLength = caps.FeatureReportByteLength;
            if (output.HasValue)
            {
                device.HasOutput = true;
                device.ReportId = output.Value.ReportId;
                device.LogicalMin = output.Value.LogicalMin;
                device.LogicalMax = output.Value.LogicalMax;
            }
            if (feature.HasValue)
            {
                device.HasFeature = true;
                device.FeatureReportId = feature.Value.ReportId;
                device.FeatureLogicalMin = feature.Value.LogicalMin;
                device.FeatureLogicalMax = feature.Value.LogicalMax;
                if (!output.HasValue)
                {
                    device.LogicalMin = feature.Value.LogicalMin;
                    device.LogicalMax = feature.Value.LogicalMax;
                }
            }
            return device;
        }
        finally
        {
            if (preparsed != IntPtr.Zero) HidD_FreePreparsedData(preparsed);
            CloseHandle(handle);
        }
    }

    static string InterfacePath(IntPtr set, ref SpDeviceInterfaceData data)
    {
        uint required;
        SetupDiGetDeviceInterfaceDetail(set, ref data, IntPtr.Zero, 0, out required, IntPtr.Zero);
        if ((int)required <= 0) return null;
        IntPtr detail = Marshal.AllocHGlobal((int)required);
        try
        {
            // The detail record's size field: 8 in a 64-bit process, 6 in a 32-bit one.
            Marshal.WriteInt32(detail, IntPtr.Size == 8 ? 8 : 6);
            uint unused;
            if (!SetupDiGetDeviceInterfaceDetail(set, ref data, detail, required, out unused, IntPtr.Zero)) return null;
            string path = Marshal.PtrToStringUni(IntPtr.Add(detail, 4));
            return string.IsNullOrEmpty(path) ? null : path;
        }
        finally
        {
            Marshal.FreeHGlobal(detail);
        }
    }

    public static Device Find()
    {
        Guid hidGuid;
        HidD_GetHidGuid(out hidGuid);
        IntPtr set = SetupDiGetClassDevs(ref hidGuid, IntPtr.Zero, IntPtr.Zero, DigcfPresent | DigcfDeviceInterface);
        if (!IsValid(set)) return null;
        try
        {
            for (uint index = 0; ; index++)
            {
                SpDeviceInterfaceData data = new SpDeviceInterfaceData();
                data.Size = (uint)Marshal.SizeOf(typeof(SpDeviceInterfaceData));
                if (!SetupDiEnumDeviceInterfaces(set, IntPtr.Zero, ref hidGuid, index, ref data)) break;
                string path = InterfacePath(set, ref data);
                if (path == null) continue;
                Device device = Inspect(path);
                if (device != null) return device;
            }
        }
        finally
        {
            SetupDiDestroyDeviceInfoList(set);
        }
        return null;
    }

    // Value, minimum, maximum, valid (1 or 0).
    public static int[] Read(Device device)
    {
        if (device == null || !device.HasFeature || device.FeatureLength == 0) return new int[] { 0, 0, 0, 0 };
        int[] invalid = new int[] { 0, device.FeatureLogicalMin, device.FeatureLogicalMax, 0 };
        IntPtr handle = Open(device.Path);
        if (!IsValid(handle)) return invalid;
        IntPtr preparsed = IntPtr.Zero;
        try
        {
            if (!HidD_GetPreparsedData(handle, out preparsed)) return invalid;
            byte[] report = new byte[device.FeatureLength];
            if (device.FeatureReportId != 0) report[0] = device.FeatureReportId;
            if (!HidD_GetFeature(handle, report, (uint)report.Length)) return invalid;
            uint value;
            if (HidP_GetUsageValue(FeatureReport, ConsumerPage, 0, SetLevelUsage, out value, preparsed, report,
                                   (uint)report.Length) != StatusSuccess) return invalid;
            return new int[] { (int)value, device.FeatureLogicalMin, device.FeatureLogicalMax, 1 };
        }
        finally
        {
            if (preparsed != IntPtr.Zero) HidD_FreePreparsedData(preparsed);
            CloseHandle(handle);
        }
    }

    static byte[] LevelReport(int reportType, ushort length, byte reportId, int raw, IntPtr preparsed)
    {
        byte[] report = new byte[length];
        if (reportId != 0) report[0] = reportId;
        int status = HidP_SetUsageValue(reportType, ConsumerPage, 0, SetLevelUsage, unchecked((uint)raw), preparsed,
                                        report, (uint)report.Length);
        if (status != StatusSuccess)
        {
            throw new InvalidOperationException("rapport Set Level refuse (0x" + status.ToString("X") + ")");
        }
        return report;
    }

    public static void Write(Device device, int raw)
    {
        if (device == null) throw new InvalidOperationException("peripherique HID absent");
        IntPtr handle = Open(device.Path);
        if (!IsValid(handle))
        {
            int openError = Marshal.GetLastWin32Error();
            throw new InvalidOperationException("ouverture HID impossible (erreur " + openError + ")");
        }
        IntPtr preparsed = IntPtr.Zero;
        try
        {
            if (!HidD_GetPreparsedData(handle, out preparsed))
            {
                preparsed = IntPtr.Zero;
                throw new InvalidOperationException("descripteur HID illisible");
            }
            bool sent = false;
            if (device.HasOutput && device.OutputLength > 0)
            {
                byte[] report = LevelReport(OutputReport, device.OutputLength, device.ReportId, raw, preparsed);
                uint written;
                sent = WriteFile(handle, report, (uint)report.Length, out written, IntPtr.Zero)
                    || HidD_SetOutputReport(handle, report, (uint)report.Length);
            }
            if (!sent && device.HasFeature && device.FeatureLength > 0)
            {
                byte[] report = LevelReport(FeatureReport, device.FeatureLength, device.FeatureReportId, raw, preparsed);
                sent = HidD_SetFeature(handle, report, (uint)report.Length);
            }
            if (!sent)
            {
                int sendError = Marshal.GetLastWin32Error();
                throw new InvalidOperationException("aucun rapport HID accepte (erreur " + sendError + ")");
            }
        }
        finally
        {
            if (preparsed != IntPtr.Zero) HidD_FreePreparsedData(preparsed);
            CloseHandle(handle);
        }
    }

    public static int MaxLevel(int min, int max)
    {
        return (long)max > (long)min + 1 ? 2 : 1;
    }

    public static int Normalize(int raw, int min, int max)
    {
        if (raw <= 0) return 0;
        if (MaxLevel(min, max) == 1) return 1;
        double threshold = min + ((double)max - min) * 2 / 3;
        return raw >= threshold ? 2 : 1;
    }

    public static int RawFor(int level, int min, int max)
    {
        if (level <= 0) return min <= 0 && 0 <= max ? 0 : min;
        if (MaxLevel(min, max) == 1) return max;
        if (level == 1) return (int)Math.Max((long)min + 1, (long)min + (long)(((double)max - min) * 0.4));
        return max;
    }
}
'@

function Emit-Result {
    $json = ConvertTo-Json -InputObject $script:Result -Compress -Depth 4
    [Console]::Out.Write($json + "`n")
    [Console]::Out.Flush()
    exit 0
}

# The first problem met is the one reported.
function Add-Error([string]$Text) {
    if ([string]::IsNullOrWhiteSpace($script:Result.reason)) {
        $script:Result.reason = $Text
    }
}

function Add-Note([string]$Text) {
    $script:Notes.Add($Text)
}

# A .NET method that throws reaches PowerShell wrapped ("Exception calling ..."): the message
# worth reporting is the innermost one.
function Get-ErrorText($ErrorRecord) {
    $exception = $ErrorRecord.Exception
    while (($exception -is [System.Management.Automation.MethodInvocationException] -or
            $exception -is [System.Reflection.TargetInvocationException]) -and $null -ne $exception.InnerException) {
        $exception = $exception.InnerException
    }
    return $exception.Message
}

function Initialize-Type([string]$Name, [string]$Source) {
    if ($null -eq ($Name -as [type])) {
        Add-Type -TypeDefinition $Source -Language CSharp
    }
}

function Limit-Range([long]$Value, [long]$Min, [long]$Max) {
    if ($Value -lt $Min) { return $Min }
    if ($Value -gt $Max) { return $Max }
    return $Value
}

function Invoke-FrameworkTool([string]$Name, [string[]]$Arguments) {
    $path = Join-Path $FrameworkDir $Name
    if (-not (Test-Path -LiteralPath $path -PathType Leaf)) {
        return $null
    }
    # The tools write to standard error too; with 'Stop' its first line would end the call.
    $ErrorActionPreference = 'Continue'
    $lines = & $path @Arguments 2>&1 | ForEach-Object { [string]$_ }
    return ($lines -join "`n")
}

function Get-FrameworkPercent([string]$Text) {
    if ([string]::IsNullOrEmpty($Text)) {
        return $null
    }
    $match = [regex]::Match($Text, '(\d{1,3})\s*%')
    if (-not $match.Success) {
        return $null
    }
    return [int]$match.Groups[1].Value
}

function Get-FrameworkLevel([int]$Percent) {
    if ($Percent -ge 75) { return 2 }
    if ($Percent -ge 25) { return 1 }
    return 0
}

# Back end 1: Framework laptop tools, framework_tool.exe on the FW13, qmk_hid.exe on the FW16.
if ($FrameworkDir -ne '') {
    try {
        $toolName = $null
        $toolArguments = $null
        $percent = Get-FrameworkPercent (Invoke-FrameworkTool 'framework_tool.exe' @('--kblight'))
        if ($null -ne $percent) {
            $toolName = 'framework_tool.exe'
            $toolArguments = @('--kblight')
        } else {
            $percent = Get-FrameworkPercent (Invoke-FrameworkTool 'qmk_hid.exe' @('via', '--backlight'))
            if ($null -ne $percent) {
                $toolName = 'qmk_hid.exe'
                $toolArguments = @('via', '--backlight')
            }
        }
        if ($null -ne $toolName) {
            $script:Result.available = $true
            $script:Result.source = 'framework'
            $script:Result.max_level = 2
            $script:Result.known = $true
            $script:Result.level = Get-FrameworkLevel $percent
            if ($Mode -eq 'write') {
                if ($Level -lt 0 -or $Level -gt 2) {
                    Add-Error 'niveau hors limites'
                } else {
                    $wanted = @(0, 50, 100)[$Level]
                    $null = Invoke-FrameworkTool $toolName ($toolArguments + @([string]$wanted))
                    $script:Result.applied = $true
                    $percent = Get-FrameworkPercent (Invoke-FrameworkTool $toolName $toolArguments)
                    if ($null -ne $percent) {
                        $script:Result.level = Get-FrameworkLevel $percent
                        $script:Result.verified = ($script:Result.level -eq $Level)
                    } else {
                        $script:Result.level = $Level
                        Add-Error 'commande Framework envoyee ; confirmation indisponible'
                    }
                }
            }
            Emit-Result
        }
    } catch {
        Add-Error ('Framework : ' + (Get-ErrorText $_))
    }
}

# Back end 2: ThinkPad power-management driver.
try {
    Initialize-Type 'TpKbBacklight' $TpKbBacklightSource
    $state = [TpKbBacklight]::Read()
    if ($state[2] -eq 0) {
        Add-Note 'ThinkPad PM : retroeclairage non pret'
    } else {
        $max = Limit-Range $state[1] 1 2
        $script:Result.available = $true
        $script:Result.known = $true
        $script:Result.max_level = $max
        $script:Result.level = Limit-Range $state[0] 0 $max
        $script:Result.source = 'thinkpad-pm'
        if ($Mode -eq 'write') {
            if ($Level -lt 0 -or $Level -gt $max) {
                Add-Error 'niveau hors limites'
            } else {
                try {
                    [TpKbBacklight]::Write($Level)
                    $script:Result.applied = $true
                    $state = [TpKbBacklight]::Read()
                    $script:Result.level = Limit-Range $state[0] 0 $max
                    $script:Result.verified = ($script:Result.level -eq $Level)
                    if (-not $script:Result.verified) {
                        Add-Error 'lecture de confirmation differente'
                    }
                } catch {
                    $script:Result.known = $false
                    Add-Error (Get-ErrorText $_)
                }
            }
        }
        Emit-Result
    }
} catch {
    $message = Get-ErrorText $_
    if (-not $message.Contains('IBMPmDrv absent')) {
        Add-Note ('ThinkPad PM : ' + $message)
    }
}

# Back end 3: standard HID keyboard backlight.
try {
    Initialize-Type 'HidKbBacklight' $HidKbBacklightSource
    $device = [HidKbBacklight]::Find()
    if ($null -ne $device) {
        $script:Result.available = $true
        $script:Result.source = 'hid'
        $script:Result.max_level = [HidKbBacklight]::MaxLevel($device.LogicalMin, $device.LogicalMax)
        $reading = [HidKbBacklight]::Read($device)
        if ($reading[3] -eq 1) {
            $script:Result.known = $true
            $script:Result.level = [HidKbBacklight]::Normalize($reading[0], $reading[1], $reading[2])
        } else {
            Add-Error 'etat HID non lisible (rapport de confirmation absent)'
        }
        if ($Mode -eq 'write') {
            if ($Level -lt 0 -or $Level -gt $script:Result.max_level) {
                Add-Error 'niveau hors limites'
            } else {
                try {
                    $raw = [HidKbBacklight]::RawFor($Level, $device.LogicalMin, $device.LogicalMax)
                    [HidKbBacklight]::Write($device, $raw)
                    $script:Result.applied = $true
                    $reading = [HidKbBacklight]::Read($device)
                    if ($reading[3] -eq 1) {
                        $script:Result.known = $true
                        $script:Result.level = [HidKbBacklight]::Normalize($reading[0], $reading[1], $reading[2])
                        $script:Result.verified = ($script:Result.level -eq $Level)
                        if (-not $script:Result.verified) {
                            Add-Error 'lecture de confirmation differente'
                        }
                    } else {
                        $script:Result.known = $false
                        $script:Result.level = $Level
                        Add-Error 'commande HID envoyee ; confirmation indisponible'
                    }
                } catch {
                    $script:Result.known = $false
                    Add-Error (Get-ErrorText $_)
                }
            }
        }
        Emit-Result
    }
} catch {
    Add-Note ('HID : ' + (Get-ErrorText $_))
}

# Back end 4: Lenovo WMI lighting class. Its levels are 1 (off), 2 (low) and 3 (high).
try {
    $class = Get-CimClass -Namespace 'root/WMI' -ClassName 'LENOVO_LIGHTING_METHOD' -ErrorAction SilentlyContinue
    if ($null -ne $class) {
        $script:Result.available = $true
        $script:Result.source = 'lenovo-wmi'
        try {
            $instance = Get-CimInstance -Namespace 'root/WMI' -ClassName 'LENOVO_LIGHTING_METHOD' |
                Select-Object -First 1
            if ($null -eq $instance) {
                throw 'instance WMI absente'
            }
            $status = Invoke-CimMethod -InputObject $instance -MethodName 'Get_Lighting_Current_Status' `
                -Arguments @{ Lighting_ID = 0 }
            $current = [int]$status.Current_Brightness_Level
            if ($current -ge 1 -and $current -le 3) {
                $script:Result.known = $true
                $script:Result.level = $current - 1
                $script:Result.max_level = 2
            } else {
                Add-Error 'niveau WMI hors plage'
            }
            if ($Mode -eq 'write') {
                if ($Level -lt 0 -or $Level -gt 2) {
                    Add-Error 'niveau hors limites'
                } else {
                    $null = Invoke-CimMethod -InputObject $instance -MethodName 'Set_Lighting_Current_Status' `
                        -Arguments @{ Current_Brightness_Level = $Level + 1; Current_State_Type = 0; Lighting_ID = 0 }
                    $script:Result.applied = $true
                    $status = Invoke-CimMethod -InputObject $instance -MethodName 'Get_Lighting_Current_Status' `
                        -Arguments @{ Lighting_ID = 0 }
                    $current = [int]$status.Current_Brightness_Level
                    if ($current -ge 1 -and $current -le 3) {
                        $script:Result.known = $true
                        $script:Result.level = $current - 1
                        $script:Result.verified = ($script:Result.level -eq $Level)
                    } else {
                        $script:Result.known = $false
                        $script:Result.level = $Level
                        Add-Error 'commande WMI envoyee ; confirmation indisponible'
                    }
                }
            }
        } catch {
            Add-Error (Get-ErrorText $_)
        }
        Emit-Result
    }
} catch {
    Add-Note ('Lenovo WMI : ' + (Get-ErrorText $_))
}

if (-not $script:Result.available) {
    $reason = 'aucune interface de retroeclairage clavier detectee'
    if ($script:Notes.Count -gt 0) {
        $reason += ' (' + ($script:Notes -join '; ') + ')'
    }
    $script:Result.reason = $reason
}
Emit-Result
