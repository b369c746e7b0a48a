// Every back end of the backlight script driven on Linux: the script compiles its own C# types,
// whose Windows calls reach the simulation of tests/winabi-sim (see Sim.cs); the CIM cmdlets are
// replaced by functions (a function wins over a cmdlet of the same name), and the Framework tools
// by shell scripts named framework_tool.exe and qmk_hid.exe in the -FrameworkDir folder.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Management.Automation.Runspaces;
using System.Reflection;
using System.Runtime.InteropServices;

internal static class Scenarios
{
    sealed class Scenario
    {
        public string Name;
        public string Mode = "read";
        public int Level;
        // The simulated devices, and PowerShell run before the script.
        public Action Devices;
        public string Setup = "";
        // Tool file name -> its output for the first, second, ... call (null: the tool is absent).
        public Dictionary<string, string[]> Tools = new Dictionary<string, string[]>();
        public bool BrokenFrameworkTool;
        public bool NoFrameworkDir;
        public string Expected;
        public string ExpectedPrefix;
        // The simulation's log of the calls that reached a device; null: not checked.
        public string Calls;
        // PowerShell expression -> expected text, evaluated after the run.
        public Dictionary<string, string> After = new Dictionary<string, string>();
    }

    static string Record(bool available, bool known, int level, int maxLevel, string source, bool applied,
                         bool verified, string reason)
    {
        return "{\"available\":" + Bool(available) + ",\"known\":" + Bool(known) + ",\"level\":" + level +
               ",\"max_level\":" + maxLevel + ",\"source\":\"" + source + "\",\"applied\":" + Bool(applied) +
               ",\"verified\":" + Bool(verified) + ",\"reason\":\"" + reason + "\"}\n";
    }

    static string Bool(bool value) { return value ? "true" : "false"; }

    const string NothingFound = "aucune interface de retroeclairage clavier detectee";
    const string ThinkPadOpen = @"CreateFileW \\.\IBMPmDrv 80000000 1 3 0";
    const string NoThinkPad = ThinkPadOpen + " -> erreur 2\n";
    const string Get = "222680 0";

    // One driver call per text "code argument", each on a handle of its own.
    static string ThinkPad(params string[] calls)
    {
        return string.Concat(calls.Select(call => ThinkPadOpen + "\n" + "DeviceIoControl " + call + "\n"));
    }

    static string Open(string path = Sim.Keyboard) { return "CreateFileW " + path + " C0000000 3 3 80\n"; }

    // The level read back: open, then the feature report asked for and the one received.
    static string Reading(string asked, string received) { return Open() + "HidD_GetFeature " + asked + " -> " + received + "\n"; }

    static string Lines(params string[] lines) { return string.Concat(lines.Select(line => line + "\n")); }
    const string WmiCalls = "$global:WmiCalls -join ' | '";
    const string FrameworkCalls = "Get-Content -LiteralPath (Join-Path $global:FrameworkDir 'calls.log') -ErrorAction SilentlyContinue";

    // Stand-ins of the CIM cmdlets, steered by globals that each scenario's setup sets.
    const string CimStandIns = @"
$global:WmiClass = $false
$global:WmiInstance = $true
$global:WmiLevels = New-Object System.Collections.Generic.Queue[object]
$global:WmiCalls = New-Object System.Collections.Generic.List[string]
$global:WmiClassError = $null
function global:Get-CimClass {
    [CmdletBinding()] param([string]$Namespace, [string]$ClassName)
    if ($null -ne $global:WmiClassError) { throw $global:WmiClassError }
    if ($global:WmiClass -and $Namespace -eq 'root/WMI' -and $ClassName -eq 'LENOVO_LIGHTING_METHOD') {
        [pscustomobject]@{ CimClassName = $ClassName }
    }
}
function global:Get-CimInstance {
    [CmdletBinding()] param([string]$Namespace, [string]$ClassName)
    if ($global:WmiInstance -and $Namespace -eq 'root/WMI' -and $ClassName -eq 'LENOVO_LIGHTING_METHOD') {
        [pscustomobject]@{ InstanceName = 'ACPI\PNP0C14\0_0' }
        [pscustomobject]@{ InstanceName = 'ACPI\PNP0C14\0_1' }
    }
}
function global:Invoke-CimMethod {
    [CmdletBinding()] param($InputObject, [string]$MethodName, [System.Collections.IDictionary]$Arguments)
    $names = @($Arguments.Keys | Sort-Object | ForEach-Object { $_ + '=' + $Arguments[$_] }) -join ','
    $global:WmiCalls.Add($InputObject.InstanceName + ' ' + $MethodName + '(' + $names + ')')
    if ($MethodName -eq 'Get_Lighting_Current_Status') {
        [pscustomobject]@{ Current_Brightness_Level = $global:WmiLevels.Dequeue() }
    } else {
        [pscustomobject]@{ ReturnValue = 0 }
    }
}
";

    static List<Scenario> All()
    {
        List<Scenario> all = new List<Scenario>();

        // Framework tools: the first percentage of the output gives the level.
        foreach (var row in new[] { Tuple.Create("49%", 1), Tuple.Create("80%", 2), Tuple.Create("Keyboard backlight: 80 %", 2),
                                    Tuple.Create("24%", 0), Tuple.Create("75%", 2), Tuple.Create("25%", 1),
                                    Tuple.Create("level 5%\nthen 90%", 0) })
        {
            Scenario s = new Scenario { Name = "framework read of \"" + row.Item1.Replace("\n", "\\n") + "\"" };
            s.Tools["framework_tool.exe"] = new[] { row.Item1 };
            s.Devices = () => Sim.ThinkPad(0x00050201);
            s.Expected = Record(true, true, row.Item2, 2, "framework", false, false, "");
            s.After[FrameworkCalls] = "framework_tool.exe --kblight";
            s.Calls = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework: qmk_hid when framework_tool gives no percentage" };
            s.Tools["framework_tool.exe"] = new[] { "Error: not supported on this platform" };
            s.Tools["qmk_hid.exe"] = new[] { "Backlight: 50%" };
            s.Expected = Record(true, true, 1, 2, "framework", false, false, "");
            s.After[FrameworkCalls] = "framework_tool.exe --kblight qmk_hid.exe via --backlight";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework: qmk_hid alone", Mode = "write", Level = 0 };
            s.Tools["qmk_hid.exe"] = new[] { "60%", "", "0%" };
            s.Expected = Record(true, true, 0, 2, "framework", true, true, "");
            s.After[FrameworkCalls] = "qmk_hid.exe via --backlight qmk_hid.exe via --backlight 0 qmk_hid.exe via --backlight";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework write 2 sets 100 % then reads back", Mode = "write", Level = 2 };
            s.Tools["framework_tool.exe"] = new[] { "30%", "", "100%" };
            s.Expected = Record(true, true, 2, 2, "framework", true, true, "");
            s.After[FrameworkCalls] = "framework_tool.exe --kblight framework_tool.exe --kblight 100 framework_tool.exe --kblight";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework write 1 sets 50 %, read-back differs silently", Mode = "write", Level = 1 };
            s.Tools["framework_tool.exe"] = new[] { "0%", "", "100%" };
            s.Expected = Record(true, true, 2, 2, "framework", true, false, "");
            s.After[FrameworkCalls] = "framework_tool.exe --kblight framework_tool.exe --kblight 50 framework_tool.exe --kblight";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework write without confirmation", Mode = "write", Level = 1 };
            s.Tools["framework_tool.exe"] = new[] { "0%", "", "timeout" };
            s.Expected = Record(true, true, 1, 2, "framework", true, false,
                                "commande Framework envoyee ; confirmation indisponible");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework write 3: niveau hors limites, nothing sent", Mode = "write", Level = 3 };
            s.Tools["framework_tool.exe"] = new[] { "100%" };
            s.Expected = Record(true, true, 2, 2, "framework", false, false, "niveau hors limites");
            s.After[FrameworkCalls] = "framework_tool.exe --kblight";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework folder without tools: no note" };
            s.Expected = Record(false, false, 0, 2, "", false, false, NothingFound);
            s.Calls = NoThinkPad;
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "empty -FrameworkDir skips the tools", NoFrameworkDir = true };
            s.Tools["framework_tool.exe"] = new[] { "80%" };
            s.Expected = Record(false, false, 0, 2, "", false, false, NothingFound);
            s.After[FrameworkCalls] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "framework exception kept as reason when ThinkPad answers" };
            s.BrokenFrameworkTool = true;
            s.Devices = () => Sim.ThinkPad(0x00050201);
            s.Calls = ThinkPad(Get);
            s.ExpectedPrefix = "{\"available\":true,\"known\":true,\"level\":1,\"max_level\":2,\"source\":\"thinkpad-pm\"," +
                               "\"applied\":false,\"verified\":false,\"reason\":\"Framework : ";
            all.Add(s);
        }

        // ThinkPad power-management driver: level in bits 3-0, maximum in bits 11-8, ready when bits
        // 19-16 are 5; a set keeps bits 7-4 and adds 0x100 when bit 21 is set.
        {
            Scenario s = new Scenario { Name = "thinkpad read: level 1 of 2", Devices = () => Sim.ThinkPad(0x00050201) };
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", false, false, "");
            s.Calls = ThinkPad(Get);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad write 2 sends argument 2", Mode = "write", Level = 2 };
            s.Devices = () => Sim.ThinkPad(0x00050201);
            s.Expected = Record(true, true, 2, 2, "thinkpad-pm", true, true, "");
            s.Calls = ThinkPad(Get, Get, "222684 2", Get);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad write keeps bits 7-4 and adds 0x100 for bit 21", Mode = "write", Level = 1 };
            s.Devices = () => Sim.ThinkPad(0x002502A2);
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", true, true, "");
            s.Calls = ThinkPad(Get, Get, "222684 1A1", Get);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad maximum field 0 and level 3 limited to 1 of 1" };
            s.Devices = () => Sim.ThinkPad(0x00050003);
            s.Expected = Record(true, true, 1, 1, "thinkpad-pm", false, false, "");
            s.Calls = ThinkPad(Get);
            all.Add(s);
        }
        foreach (var row in new[] { Tuple.Create(2, 0x00050101u), Tuple.Create(-1, 0x00050201u) })
        {
            Scenario s = new Scenario { Name = "thinkpad write " + row.Item1 + ": niveau hors limites, nothing sent", Mode = "write", Level = row.Item1 };
            s.Devices = () => Sim.ThinkPad(row.Item2);
            s.Expected = Record(true, true, 1, (int)(row.Item2 >> 8 & 0xF), "thinkpad-pm", false, false, "niveau hors limites");
            s.Calls = ThinkPad(Get);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad read-back differs", Mode = "write", Level = 1 };
            s.Devices = () => Sim.ThinkPad(0x00050200, levelAfterSet: 2);
            s.Expected = Record(true, true, 2, 2, "thinkpad-pm", true, false, "lecture de confirmation differente");
            s.Calls = ThinkPad(Get, Get, "222684 1", Get);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad set refused by the driver", Mode = "write", Level = 0 };
            s.Devices = () => Sim.ThinkPad(0x00050201, failingCode: 0x222684, failingError: 5);
            s.Expected = Record(true, false, 1, 2, "thinkpad-pm", false, false, "DeviceIoControl 2238084 (erreur 5)");
            s.Calls = ThinkPad(Get, Get, "222684 0 -> erreur 5");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad not ready: the note in the final reason" };
            s.Devices = () => Sim.ThinkPad(0x00030201);
            s.Expected = Record(false, false, 0, 2, "", false, false, NothingFound + " (ThinkPad PM : retroeclairage non pret)");
            s.Calls = ThinkPad(Get);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "nothing present, no notes" };
            s.Expected = Record(false, false, 0, 2, "", false, false, NothingFound);
            s.Calls = NoThinkPad;
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad state read refused: noted" };
            s.Devices = () => Sim.ThinkPad(0x00050201, failingCode: 0x222680, failingError: 1);
            s.Expected = Record(false, false, 0, 2, "", false, false,
                                NothingFound + " (ThinkPad PM : DeviceIoControl 2238080 (erreur 1))");
            s.Calls = ThinkPad(Get + " -> erreur 1");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "notes joined in back-end order" };
            s.Devices = () => Sim.ThinkPad(0x00000201);
            s.Setup = "$global:WmiClassError = 'RPC indisponible'";
            s.Expected = Record(false, false, 0, 2, "", false, false,
                                NothingFound + " (ThinkPad PM : retroeclairage non pret; Lenovo WMI : RPC indisponible)");
            all.Add(s);
        }

        // HID keyboard backlight; Sim.Backlight: report 3 with the level as output and feature value.
        foreach (var row in new[] { Tuple.Create(67, 2, "43"), Tuple.Create(66, 1, "42"), Tuple.Create(1, 1, "01"), Tuple.Create(0, 0, "00") })
        {
            Scenario s = new Scenario { Name = "hid read raw " + row.Item1 + " of 0 to 100" };
            s.Devices = () => Sim.Backlight(0, 100, (uint)row.Item1);
            s.Expected = Record(true, true, row.Item2, 2, "hid", false, false, "");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 " + row.Item3);
            all.Add(s);
        }
        foreach (var row in new[] { Tuple.Create(0, "00"), Tuple.Create(1, "28"), Tuple.Create(2, "64") })
        {
            Scenario s = new Scenario { Name = "hid write " + row.Item1 + " sends 0x" + row.Item2, Mode = "write", Level = row.Item1 };
            s.Devices = () => Sim.Backlight(0, 100, 50);
            s.Expected = Record(true, true, row.Item1, 2, "hid", true, true, "");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 32") + Open() + Lines("WriteFile 03 " + row.Item2) +
                      Reading("03 00", "03 " + row.Item2);
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid on/off device: range 0 to 1", Mode = "write", Level = 1 };
            s.Devices = () => Sim.Backlight(0, 1, 0);
            s.Expected = Record(true, true, 1, 1, "hid", true, true, "");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 00") + Open() + Lines("WriteFile 03 01") + Reading("03 00", "03 01");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid write above an on/off device", Mode = "write", Level = 2 };
            s.Devices = () => Sim.Backlight(0, 1, 1);
            s.Expected = Record(true, true, 1, 1, "hid", false, false, "niveau hors limites");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 01");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid report id 0 leaves the first byte 0", Mode = "write", Level = 2 };
            s.Devices = () => Sim.Backlight(0, 100, 0, reportId: 0);
            s.Expected = Record(true, true, 2, 2, "hid", true, true, "");
            s.Calls = NoThinkPad + Open() + Reading("00 00", "00 00") + Open() + Lines("WriteFile 00 64") + Reading("00 00", "00 64");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid feature-only collection: feature report and feature range", Mode = "write", Level = 1 };
            s.Devices = () =>
            {
                int c = Sim.Collection(outputLength: 0, featureLength: 2, level: 10);
                Sim.Value(c, Sim.Feature, 5, 0x7B, 2, 10);
            };
            s.Expected = Record(true, true, 1, 2, "hid", true, true, "");
            s.Calls = NoThinkPad + Open() + Reading("05 00", "05 0A") + Open() + Lines("HidD_SetFeature 05 05") + Reading("05 00", "05 05");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid skips a keyboard and a 0x0C/0x07 collection without 0x7B, finds a range holding 0x7B", Mode = "write", Level = 1 };
            const string keyboard = @"\\?\hid#vid_17ef&pid_6047&col01#keyboard";
            const string media = @"\\?\hid#vid_17ef&pid_6047&col02#media";
            s.Devices = () =>
            {
                int k = Sim.Collection(keyboard, page: 0x01, usage: 0x06);
                Sim.Value(k, Sim.Output, 3, 0x7B, 0, 100);
                int m = Sim.Collection(media);
                Sim.Value(m, Sim.Output, 3, 0x79, 0, 100);
                Sim.Value(m, Sim.Feature, 3, 0x7B, 0, 100, page: 0xFF00);
                // A 16-bit level in a three-byte report; its range holds 0x7B.
                int b = Sim.Collection(outputLength: 3, featureLength: 3, level: 300);
                Sim.Value(b, Sim.Output, 7, 0x79, 0, 1000, usageMax: 0x7C, bits: 16);
                Sim.Value(b, Sim.Feature, 7, 0x7B, 0, 1000, bits: 16);
            };
            s.Expected = Record(true, true, 1, 2, "hid", true, true, "");
            s.Calls = NoThinkPad + Open(keyboard) + Open(media) + Open() + Reading("07 00 00", "07 2C 01") + Open() +
                      Lines("WriteFile 07 90 01") + Reading("07 00 00", "07 90 01");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid WriteFile refused, HidD_SetOutputReport accepted", Mode = "write", Level = 2 };
            s.Devices = () => Sim.Fail(Sim.Backlight(0, 100, 0), "write_file", 1, 1);
            s.Expected = Record(true, true, 2, 2, "hid", true, true, "");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 00") + Open() + Lines("WriteFile 03 64 -> erreur 1", "HidD_SetOutputReport 03 64") +
                      Reading("03 00", "03 64");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid output report refused, feature report accepted", Mode = "write", Level = 2 };
            s.Devices = () =>
            {
                int c = Sim.Backlight(0, 100, 0);
                Sim.Fail(c, "write_file", 31, 1);
                Sim.Fail(c, "set_output", 31, 1);
            };
            s.Expected = Record(true, true, 2, 2, "hid", true, true, "");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 00") + Open() +
                      Lines("WriteFile 03 64 -> erreur 31", "HidD_SetOutputReport 03 64 -> erreur 31", "HidD_SetFeature 03 64") +
                      Reading("03 00", "03 64");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid every report refused", Mode = "write", Level = 0 };
            s.Devices = () =>
            {
                int c = Sim.Backlight(0, 100, 100);
                Sim.Fail(c, "write_file", 31, 1);
                Sim.Fail(c, "set_output", 31, 1);
                Sim.Fail(c, "set_feature", 31, 1);
            };
            s.Expected = Record(true, false, 2, 2, "hid", false, false, "aucun rapport HID accepte (erreur 31)");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 64") + Open() +
                      Lines("WriteFile 03 00 -> erreur 31", "HidD_SetOutputReport 03 00 -> erreur 31", "HidD_SetFeature 03 00 -> erreur 31");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid level not readable" };
            s.Devices = () => Sim.Fail(Sim.Backlight(0, 100, 50), "get_feature", 31, 1);
            s.Expected = Record(true, false, 0, 2, "hid", false, false, "etat HID non lisible (rapport de confirmation absent)");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "erreur 31");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid first reason kept", Mode = "write", Level = 2 };
            s.Devices = () => Sim.Fail(Sim.Backlight(0, 100, 50), "get_feature", 31, 1);
            s.Expected = Record(true, false, 2, 2, "hid", true, false, "etat HID non lisible (rapport de confirmation absent)");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "erreur 31") + Open() + Lines("WriteFile 03 64") + Reading("03 00", "erreur 31");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid set sent without confirmation", Mode = "write", Level = 1 };
            s.Devices = () => Sim.Fail(Sim.Backlight(0, 100, 100), "get_feature", 31, 2);
            s.Expected = Record(true, false, 1, 2, "hid", true, false, "commande HID envoyee ; confirmation indisponible");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 64") + Open() + Lines("WriteFile 03 28") + Reading("03 00", "erreur 31");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid read-back differs", Mode = "write", Level = 1 };
            s.Devices = () => Sim.Behave(Sim.Backlight(0, 100, 0), 0x00110000, 90);
            s.Expected = Record(true, true, 2, 2, "hid", true, false, "lecture de confirmation differente");
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 00") + Open() + Lines("WriteFile 03 28") + Reading("03 00", "03 5A");
            all.Add(s);
        }
        // Write failures; the device's third open and third preparsed data are the write's.
        foreach (var row in new[] {
                     Tuple.Create("open", 5, "ouverture HID impossible (erreur 5)", Open().Replace("\n", " -> erreur 5\n")),
                     Tuple.Create("preparsed", 31, "descripteur HID illisible", Open()),
                     Tuple.Create("set_usage", 0, "rapport Set Level refuse (0xC011000C)", Open()) })
        {
            Scenario s = new Scenario { Name = "hid write fails: " + row.Item3, Mode = "write", Level = 2 };
            s.Devices = () =>
            {
                int c = Sim.Backlight(0, 100, 40);
                if (row.Item1 == "set_usage") Sim.Behave(c, unchecked((int)0xC011000C), -1);
                else Sim.Fail(c, row.Item1, row.Item2, 3);
            };
            s.Expected = Record(true, false, 1, 2, "hid", false, false, row.Item3);
            s.Calls = NoThinkPad + Open() + Reading("03 00", "03 28") + row.Item4;
            all.Add(s);
        }

        // Lenovo WMI lighting class: 1 off, 2 low, 3 high.
        {
            Scenario s = new Scenario { Name = "wmi read 2 gives level 1" };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(2)";
            s.Expected = Record(true, true, 1, 2, "lenovo-wmi", false, false, "");
            s.After[WmiCalls] = @"ACPI\PNP0C14\0_0 Get_Lighting_Current_Status(Lighting_ID=0)";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "wmi write 2 sets 3", Mode = "write", Level = 2 };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(1); $global:WmiLevels.Enqueue(3)";
            s.Expected = Record(true, true, 2, 2, "lenovo-wmi", true, true, "");
            s.After[WmiCalls] = @"ACPI\PNP0C14\0_0 Get_Lighting_Current_Status(Lighting_ID=0) | " +
                                @"ACPI\PNP0C14\0_0 Set_Lighting_Current_Status(Current_Brightness_Level=3,Current_State_Type=0,Lighting_ID=0) | " +
                                @"ACPI\PNP0C14\0_0 Get_Lighting_Current_Status(Lighting_ID=0)";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "wmi write 0 sets 1, read-back differs silently", Mode = "write", Level = 0 };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(3); $global:WmiLevels.Enqueue(2)";
            s.Expected = Record(true, true, 1, 2, "lenovo-wmi", true, false, "");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "wmi write 3: niveau hors limites, nothing sent", Mode = "write", Level = 3 };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(2)";
            s.Expected = Record(true, true, 1, 2, "lenovo-wmi", false, false, "niveau hors limites");
            s.After[WmiCalls] = @"ACPI\PNP0C14\0_0 Get_Lighting_Current_Status(Lighting_ID=0)";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "wmi class without instance" };
            s.Setup = "$global:WmiClass = $true; $global:WmiInstance = $false";
            s.Expected = Record(true, false, 0, 2, "lenovo-wmi", false, false, "instance WMI absente");
            all.Add(s);
        }
        foreach (int level in new[] { 0, 4 })
        {
            Scenario s = new Scenario { Name = "wmi level " + level + " out of range" };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(" + level + ")";
            s.Expected = Record(true, false, 0, 2, "lenovo-wmi", false, false, "niveau WMI hors plage");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "wmi set sent without confirmation", Mode = "write", Level = 1 };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(1); $global:WmiLevels.Enqueue(7)";
            s.Expected = Record(true, false, 1, 2, "lenovo-wmi", true, false, "commande WMI envoyee ; confirmation indisponible");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "wmi read mode sends nothing" };
            s.Setup = "$global:WmiClass = $true; $global:WmiLevels.Enqueue(1)";
            s.Expected = Record(true, true, 0, 2, "lenovo-wmi", false, false, "");
            s.After[WmiCalls] = @"ACPI\PNP0C14\0_0 Get_Lighting_Current_Status(Lighting_ID=0)";
            all.Add(s);
        }

        // Order: the first back end that answers decides.
        {
            Scenario s = new Scenario { Name = "thinkpad wins over hid and wmi", Setup = "$global:WmiClass = $true" };
            s.Devices = () => { Sim.ThinkPad(0x00050201); Sim.Backlight(0, 100, 100); };
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", false, false, "");
            s.Calls = ThinkPad(Get);
            s.After[WmiCalls] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid wins over wmi", Setup = "$global:WmiClass = $true" };
            s.Devices = () => Sim.Backlight(0, 100, 100);
            s.Expected = Record(true, true, 2, 2, "hid", false, false, "");
            s.After[WmiCalls] = "";
            all.Add(s);
        }
        return all;
    }

    static void WriteTools(string folder, Scenario scenario)
    {
        if (Directory.Exists(folder)) Directory.Delete(folder, true);
        Directory.CreateDirectory(folder);
        foreach (KeyValuePair<string, string[]> tool in scenario.Tools)
        {
            string path = Path.Combine(folder, tool.Key);
            for (int i = 0; i < tool.Value.Length; i++)
            {
                File.WriteAllText(path + ".out." + (i + 1), tool.Value[i] + "\n");
            }
            // Logs its name and arguments, prints the output chosen for this call.
            File.WriteAllText(path,
                "#!/bin/sh\n" +
                "d=$(dirname \"$0\"); n=$(cat \"$0.count\" 2>/dev/null || echo 0); n=$((n + 1)); echo $n > \"$0.count\"\n" +
                "echo \"$(basename \"$0\") $*\" >> \"$d/calls.log\"\n" +
                "[ -f \"$0.out.$n\" ] && cat \"$0.out.$n\"\n" +
                "echo 'diagnostic on standard error' >&2\n" +
                "exit 0\n");
            File.SetUnixFileMode(path, UnixFileMode.UserRead | UnixFileMode.UserWrite | UnixFileMode.UserExecute);
        }
        if (scenario.BrokenFrameworkTool)
        {
            // Present but not executable: running it raises an exception.
            string path = Path.Combine(folder, "framework_tool.exe");
            File.WriteAllText(path, "not a program\n");
            File.SetUnixFileMode(path, UnixFileMode.UserRead | UnixFileMode.UserWrite);
        }
    }

    // The records the script declares, against the documented x64 layouts: size, then field offsets.
    static readonly string[][] Layouts = {
        new[] { "HidKbBacklight+SpDeviceInterfaceData", "32", "Size 0", "InterfaceClassGuid 4", "Flags 20", "Reserved 24" },
        new[] { "HidKbBacklight+HidpCaps", "64", "Usage 0", "UsagePage 2", "OutputReportByteLength 6", "FeatureReportByteLength 8",
                "NumberLinkCollectionNodes 44", "NumberOutputValueCaps 54", "NumberFeatureValueCaps 60" },
        new[] { "HidKbBacklight+HidpValueCaps", "72", "UsagePage 0", "ReportId 2", "IsRange 12", "BitSize 18", "UnitsExp 32",
                "LogicalMin 40", "LogicalMax 44", "UsageMin 56", "UsageMax 58", "DataIndexMax 70" },
    };

    // The pure members, by their worked values.
    static readonly string[,] Worked = {
        { "[HidKbBacklight]::MaxLevel(0, 100)", "2" },
        { "(0, 1, 2 | ForEach-Object { [HidKbBacklight]::RawFor($_, 0, 100) }) -join ' '", "0 40 100" },
        { "(0, 1, 66, 67, 100 | ForEach-Object { [HidKbBacklight]::Normalize($_, 0, 100) }) -join ' '", "0 1 1 2 2" },
        { "[HidKbBacklight]::MaxLevel(0, 1)", "1" },
        { "(0, 1 | ForEach-Object { [HidKbBacklight]::RawFor($_, 0, 1) }) -join ' '", "0 1" },
        { "(0, 1 | ForEach-Object { [HidKbBacklight]::Normalize($_, 0, 1) }) -join ' '", "0 1" },
        { "[HidKbBacklight]::RawFor(0, 5, 10)", "5" },
        { "[HidKbBacklight]::RawFor(1, 0, 2)", "1" },
        { "[HidKbBacklight]::MaxLevel(0, 2)", "2" },
        { "[HidKbBacklight]::RawFor(2, 0, 1)", "1" },
        { "[HidKbBacklight]::Normalize(-3, 0, 100)", "0" },
        { "[HidKbBacklight]::MaxLevel(2147483647, 2147483647)", "1" },
        { "[HidKbBacklight]::RawFor(1, -2147483648, 2147483647)", "-429496730" },
        { "([TpKbBacklight]::Decode(0x00250F0F)) -join ' '", "15 15 1 1 2428687" },
        { "'0x{0:X}' -f [TpKbBacklight]::SetArgument(0x000500F1, 0)", "0xF0" },
        { "try { [TpKbBacklight]::SetArgument(0x00030201, 1) } catch { $_.Exception.InnerException.Message }",
          "retroeclairage non pret (0x30201)" },
        { "try { [HidKbBacklight]::Write($null, 1) } catch { $_.Exception.InnerException.Message }", "peripherique HID absent" },
        { "([HidKbBacklight]::Read($null)) -join ' '", "0 0 0 0" },
    };

    static void CheckLayouts()
    {
        foreach (string[] layout in Layouts)
        {
            Type type = Sim.ScriptType(layout[0]);
            if (type == null)
            {
                Program.CheckFailed("layout of " + layout[0], "not declared by the script");
                continue;
            }
            List<string> problems = new List<string>();
            int size = Marshal.SizeOf(type);
            if (size.ToString() != layout[1]) problems.Add("size " + size + ", documented " + layout[1]);
            foreach (string field in layout.Skip(2))
            {
                string[] parts = field.Split(' ');
                string offset = type.GetField(parts[0], BindingFlags.Public | BindingFlags.NonPublic | BindingFlags.Instance) == null
                    ? "absent" : Marshal.OffsetOf(type, parts[0]).ToString();
                if (offset != parts[1]) problems.Add(parts[0] + " at " + offset + ", documented " + parts[1]);
            }
            Program.CheckResult("layout of " + layout[0], problems);
        }
    }

    public static void Run(string script, string work, string simulation)
    {
        Sim.Bind(simulation);
        string tools = Path.Combine(work, "framework");
        using (Runspace fresh = Program.OpenRunspace())
        {
            Program.Check("the script's types are not defined before it runs",
                          Program.Evaluate(fresh, "$null -eq ('TpKbBacklight' -as [type]) -and $null -eq ('HidKbBacklight' -as [type])") == "True");
        }
        foreach (Scenario scenario in All())
        {
            Sim.Reset();
            if (scenario.Devices != null) scenario.Devices();
            WriteTools(tools, scenario);
            using (Runspace runspace = Program.OpenRunspace())
            {
                string setup = CimStandIns + "\n$global:FrameworkDir = '" + tools.Replace("'", "''") + "'\n" + scenario.Setup;
                string prepared = Program.Evaluate(runspace, setup);
                if (prepared.StartsWith("error: "))
                {
                    Program.CheckFailed(scenario.Name, "setup failed: " + prepared);
                    continue;
                }
                Program.ScriptRun run = Program.RunScript(runspace, script, scenario.Mode, scenario.Level,
                                                          scenario.NoFrameworkDir ? "" : tools);
                if (run.Failure != null)
                {
                    Program.CheckFailed(scenario.Name, run.Failure + " / output " + run.Output);
                    continue;
                }
                bool oneLine = run.PipelineItems == 0 && run.Output.IndexOf('\n') == run.Output.Length - 1;
                bool recordOk = scenario.Expected != null ? run.Output == scenario.Expected
                                                           : run.Output.StartsWith(scenario.ExpectedPrefix);
                List<string> problems = new List<string>();
                if (!oneLine) problems.Add("not exactly one output line (" + run.PipelineItems + " pipeline items)");
                if (!recordOk) problems.Add("expected " + (scenario.Expected ?? scenario.ExpectedPrefix + "...") +
                                            " got " + run.Output);
                string calls = Sim.Calls();
                if (scenario.Calls != null && calls != scenario.Calls)
                    problems.Add("calls expected\n" + scenario.Calls + "got\n" + calls);
                string leaks = Sim.Leaks();
                if (leaks.Length > 0) problems.Add("left open: " + leaks);
                foreach (KeyValuePair<string, string> after in scenario.After)
                {
                    string actual = Program.Evaluate(runspace, after.Key == FrameworkCalls ? "(" + after.Key + ") -join ' '" : after.Key);
                    if (actual != after.Value) problems.Add(after.Key + " expected «" + after.Value + "» got «" + actual + "»");
                }
                Program.CheckResult(scenario.Name, problems);
            }
        }
        // Compiled once by the script, then reused by every later run in this process.
        Program.Check("the script compiled its two types once, bound to the simulation",
                      Sim.Bound.Count == 2 && Sim.ScriptType("TpKbBacklight") != null && Sim.ScriptType("HidKbBacklight") != null,
                      Sim.Bound.Count + " assemblies bound");
        CheckLayouts();
        using (Runspace runspace = Program.OpenRunspace())
        {
            for (int i = 0; i < Worked.GetLength(0); i++)
            {
                string actual = Program.Evaluate(runspace, Worked[i, 0]);
                Program.Check(Worked[i, 0], actual == Worked[i, 1], "expected «" + Worked[i, 1] + "», got «" + actual + "»");
            }
        }
    }
}
