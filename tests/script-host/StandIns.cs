// Stand-ins for the two types the backlight script compiles, with the same members. The script
// reuses a type that is already defined, so these take the place of the driver and of the HID
// device. Their conversions are not copies: they call the script's own C# (compiled beside them
// as RealTpKbBacklight and RealHidKbBacklight), so the bit layout and level arithmetic under test
// are the real ones. Compiled at run time, not into the host, so that another process of the host
// can let the script compile the real types under their own names.
using System;
using System.Collections.Generic;

public static class TpKbBacklight
{
    public const uint GetStateCode = RealTpKbBacklight.GetStateCode;
    public const uint SetStateCode = RealTpKbBacklight.SetStateCode;

    // Thrown by every call when set, as the real type does when the driver cannot be opened.
    // (PowerShell turns $null into an empty text for a text field: empty means none.)
    public static string OpenError;
    public static string SetError;
    public static uint State;
    // The level field the driver reports after a set; -1 keeps the level that was set.
    public static int ReadBackLevel;
    public static List<uint> Sent = new List<uint>();
    public static int Calls;

    public static void Reset()
    {
        OpenError = "IBMPmDrv absent (erreur 2)";
        SetError = null;
        State = 0;
        ReadBackLevel = -1;
        Sent.Clear();
        Calls = 0;
    }

    public static uint Call(uint code, uint input)
    {
        Calls++;
        if (!string.IsNullOrEmpty(OpenError)) throw new InvalidOperationException(OpenError);
        if (code == SetStateCode)
        {
            Sent.Add(input);
            if (!string.IsNullOrEmpty(SetError)) throw new InvalidOperationException(SetError);
            uint level = ReadBackLevel >= 0 ? (uint)ReadBackLevel : input & 0xF;
            State = (State & ~0xFu) | level;
            return 0;
        }
        return State;
    }

    public static long[] Decode(uint state) { return RealTpKbBacklight.Decode(state); }

    public static uint SetArgument(uint state, int level) { return RealTpKbBacklight.SetArgument(state, level); }

    public static long[] Read() { return Decode(Call(GetStateCode, 0)); }

    public static void Write(int level) { Call(SetStateCode, SetArgument(Call(GetStateCode, 0), level)); }
}

public static class HidKbBacklight
{
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

    // What Find returns; null: no collection.
    public static Device Present;
    public static string FindError;
    public static string WriteError;
    public static int Value;
    public static bool Readable;
    public static bool ReadableAfterWrite;
    // The raw value the device reports after a write; null keeps the value written.
    public static int? ReadBackRaw;
    public static List<int> Written = new List<int>();

    public static void Reset()
    {
        Present = null;
        FindError = null;
        WriteError = null;
        Value = 0;
        Readable = true;
        ReadableAfterWrite = true;
        ReadBackRaw = null;
        Written.Clear();
    }

    // A collection with both reports and one logical range.
    public static void Attach(int min, int max, int value)
    {
        Device device = new Device();
        device.Path = @"\\?\hid#vid_0000&pid_0000&col02#stand-in";
        device.OutputLength = 2;
        device.FeatureLength = 2;
        device.ReportId = 3;
        device.FeatureReportId = 3;
        device.HasOutput = true;
        device.HasFeature = true;
        device.LogicalMin = min;
        device.LogicalMax = max;
        device.FeatureLogicalMin = min;
        device.FeatureLogicalMax = max;
        Present = device;
        Value = value;
    }

    public static Device Find()
    {
        if (!string.IsNullOrEmpty(FindError)) throw new InvalidOperationException(FindError);
        return Present;
    }

    public static int[] Read(Device device)
    {
        if (!Readable) return new int[] { 0, device.FeatureLogicalMin, device.FeatureLogicalMax, 0 };
        return new int[] { Value, device.FeatureLogicalMin, device.FeatureLogicalMax, 1 };
    }

    public static void Write(Device device, int raw)
    {
        if (!string.IsNullOrEmpty(WriteError)) throw new InvalidOperationException(WriteError);
        Written.Add(raw);
        Value = ReadBackRaw.HasValue ? ReadBackRaw.Value : raw;
        Readable = ReadableAfterWrite;
    }

    public static int MaxLevel(int min, int max) { return RealHidKbBacklight.MaxLevel(min, max); }

    public static int Normalize(int raw, int min, int max) { return RealHidKbBacklight.Normalize(raw, min, max); }

    public static int RawFor(int level, int min, int max) { return RealHidKbBacklight.RawFor(level, min, max); }
}
