// The simulated Windows functions of tests/winabi-sim, bound to the types the backlight script
// compiles: every assembly that defines TpKbBacklight or HidKbBacklight resolves kernel32.dll,
// hid.dll and setupapi.dll to the simulation, whatever compiled it (Add-Type in the runspace).
using System;
using System.Collections.Generic;
using System.Reflection;
using System.Runtime.InteropServices;

internal static class Sim
{
    const string Library = "winabi-sim";
    static IntPtr handle;
    internal static readonly List<Assembly> Bound = new List<Assembly>();

    internal static void Bind(string path)
    {
        handle = NativeLibrary.Load(path);
        NativeLibrary.SetDllImportResolver(typeof(Sim).Assembly,
                                           (name, assembly, search) => name == Library ? handle : IntPtr.Zero);
        AppDomain.CurrentDomain.AssemblyLoad += (sender, loaded) =>
        {
            Assembly assembly = loaded.LoadedAssembly;
            if (assembly.IsDynamic || (assembly.GetType("TpKbBacklight") == null && assembly.GetType("HidKbBacklight") == null))
                return;
            Bound.Add(assembly);
            NativeLibrary.SetDllImportResolver(assembly, (name, from, search) =>
                name == "kernel32.dll" || name == "hid.dll" || name == "setupapi.dll" ? handle : IntPtr.Zero);
        };
    }

    internal static Type ScriptType(string name)
    {
        foreach (Assembly assembly in Bound)
        {
            Type type = assembly.GetType(name);
            if (type != null) return type;
        }
        return null;
    }

    [DllImport(Library, EntryPoint = "sim_reset")] internal static extern void Reset();
    [DllImport(Library, EntryPoint = "sim_add_collection")]
    static extern int AddCollection(string path, ushort page, ushort usage, ushort outputLength, ushort featureLength,
                                    uint level);
    [DllImport(Library, EntryPoint = "sim_add_value")]
    static extern void AddValue(int collection, int type, ushort page, byte reportId, int range, ushort usageMin,
                                ushort usageMax, int logicalMin, int logicalMax, ushort bits);
    [DllImport(Library, EntryPoint = "sim_fail")] internal static extern void Fail(int collection, string call, int error, int from);
    [DllImport(Library, EntryPoint = "sim_behave")] internal static extern void Behave(int collection, int setUsageStatus, long levelAfterSet);
    [DllImport(Library, EntryPoint = "sim_thinkpad")]
    internal static extern void ThinkPad(uint state, long levelAfterSet = -1, uint failingCode = 0, int failingError = 0);
    [DllImport(Library, EntryPoint = "sim_calls")] static extern IntPtr CallsText();
    [DllImport(Library, EntryPoint = "sim_open_handles")] static extern int OpenHandles();
    [DllImport(Library, EntryPoint = "sim_preparsed")] static extern int PreparsedData();
    [DllImport(Library, EntryPoint = "sim_device_lists")] static extern int DeviceLists();

    internal const int Output = 1, Feature = 2;
    internal const string Keyboard = @"\\?\hid#vid_17ef&pid_6047&col03#7&1c2a&0&0002#{4d1e55b2-f16f-11cf-88cb-001111000030}";

    internal static int Collection(string path = Keyboard, ushort page = 0x0C, ushort usage = 0x07, ushort outputLength = 2,
                                   ushort featureLength = 2, uint level = 0)
    {
        return AddCollection(path, page, usage, outputLength, featureLength, level);
    }

    // One value; usageMax above usage makes it a range.
    internal static void Value(int collection, int type, byte reportId, ushort usage, int min, int max,
                               ushort usageMax = 0, ushort page = 0x0C, ushort bits = 8)
    {
        AddValue(collection, type, page, reportId, usageMax > usage ? 1 : 0, usage, usageMax > usage ? usageMax : usage,
                 min, max, bits);
    }

    // A keyboard-backlight collection with its level as an output and a feature value of one report.
    internal static int Backlight(int min, int max, uint level, byte reportId = 3)
    {
        int collection = Collection(level: level);
        Value(collection, Output, reportId, 0x7B, min, max);
        Value(collection, Feature, reportId, 0x7B, min, max);
        return collection;
    }

    internal static string Calls() { return Marshal.PtrToStringUTF8(CallsText()); }

    // What a run left open: empty when nothing.
    internal static string Leaks()
    {
        List<string> left = new List<string>();
        if (OpenHandles() != 0) left.Add(OpenHandles() + " handle(s)");
        if (PreparsedData() != 0) left.Add(PreparsedData() + " preparsed data");
        if (DeviceLists() != 0) left.Add(DeviceLists() + " device list(s)");
        return string.Join(", ", left);
    }
}
