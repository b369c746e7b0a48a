// Every back end of the backlight script driven on Linux: the two C# types are replaced by the
// stand-ins of StandIns.cs (the script reuses a defined type), the CIM cmdlets by functions (a
// function wins over a cmdlet of the same name), and the Framework tools by shell scripts named
// framework_tool.exe and qmk_hid.exe in the -FrameworkDir folder.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Management.Automation.Runspaces;
using System.Reflection;
using System.Runtime.Loader;
using System.Text;
using Microsoft.CodeAnalysis;

internal static class Scenarios
{
    sealed class Scenario
    {
        public string Name;
        public string Mode = "read";
        public int Level;
        public string Setup = "";
        // Tool file name -> its output for the first, second, ... call (null: the tool is absent).
        public Dictionary<string, string[]> Tools = new Dictionary<string, string[]>();
        public bool BrokenFrameworkTool;
        public bool NoFrameworkDir;
        public string Expected;
        public string ExpectedPrefix;
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
    const string TpCalls = "[TpKbBacklight]::Calls";
    const string TpSent = "([TpKbBacklight]::Sent | ForEach-Object { '0x{0:X}' -f $_ }) -join ' '";
    const string HidWritten = "[HidKbBacklight]::Written -join ' '";
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
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00050201";
            s.Expected = Record(true, true, row.Item2, 2, "framework", false, false, "");
            s.After[FrameworkCalls] = "framework_tool.exe --kblight";
            s.After[TpCalls] = "0";
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
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00050201";
            s.ExpectedPrefix = "{\"available\":true,\"known\":true,\"level\":1,\"max_level\":2,\"source\":\"thinkpad-pm\"," +
                               "\"applied\":false,\"verified\":false,\"reason\":\"Framework : ";
            all.Add(s);
        }

        // ThinkPad power-management driver.
        const string tpReady = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00050201; ";
        {
            Scenario s = new Scenario { Name = "thinkpad read: level 1 of 2", Setup = tpReady };
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", false, false, "");
            s.After[TpSent] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad write 2 sends argument 2", Mode = "write", Level = 2, Setup = tpReady };
            s.Expected = Record(true, true, 2, 2, "thinkpad-pm", true, true, "");
            s.After[TpSent] = "0x2";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad write keeps bits 7-4 and adds 0x100 for bit 21", Mode = "write", Level = 1 };
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x002502A2";
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", true, true, "");
            s.After[TpSent] = "0x1A1";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad maximum field 0 and level 3 limited to 1 of 1" };
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00050003";
            s.Expected = Record(true, true, 1, 1, "thinkpad-pm", false, false, "");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad write above its maximum", Mode = "write", Level = 2 };
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00050101";
            s.Expected = Record(true, true, 1, 1, "thinkpad-pm", false, false, "niveau hors limites");
            s.After[TpSent] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad write -1", Mode = "write", Level = -1, Setup = tpReady };
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", false, false, "niveau hors limites");
            s.After[TpSent] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad read-back differs", Mode = "write", Level = 1 };
            s.Setup = tpReady + "[TpKbBacklight]::ReadBackLevel = 2";
            s.Expected = Record(true, true, 2, 2, "thinkpad-pm", true, false, "lecture de confirmation differente");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad set fails", Mode = "write", Level = 0 };
            s.Setup = tpReady + "[TpKbBacklight]::SetError = 'DeviceIoControl 2238084 (erreur 5)'";
            s.Expected = Record(true, false, 1, 2, "thinkpad-pm", false, false, "DeviceIoControl 2238084 (erreur 5)");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad not ready: the note in the final reason" };
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00030201";
            s.Expected = Record(false, false, 0, 2, "", false, false, NothingFound + " (ThinkPad PM : retroeclairage non pret)");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "nothing present, no notes" };
            s.Expected = Record(false, false, 0, 2, "", false, false, NothingFound);
            s.After[TpCalls] = "1";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "thinkpad driver call fails: noted" };
            s.Setup = "[TpKbBacklight]::OpenError = 'DeviceIoControl 2238080 (erreur 1)'";
            s.Expected = Record(false, false, 0, 2, "", false, false,
                                NothingFound + " (ThinkPad PM : DeviceIoControl 2238080 (erreur 1))");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "notes joined in back-end order" };
            s.Setup = "[TpKbBacklight]::OpenError = $null; [TpKbBacklight]::State = 0x00000201; " +
                      "[HidKbBacklight]::FindError = 'SetupDiGetClassDevs refuse'; $global:WmiClassError = 'RPC indisponible'";
            s.Expected = Record(false, false, 0, 2, "", false, false,
                                NothingFound + " (ThinkPad PM : retroeclairage non pret; HID : SetupDiGetClassDevs refuse; " +
                                "Lenovo WMI : RPC indisponible)");
            all.Add(s);
        }

        // HID keyboard backlight, range 0 to 100 unless said otherwise.
        foreach (var row in new[] { Tuple.Create(67, 2), Tuple.Create(66, 1), Tuple.Create(1, 1), Tuple.Create(0, 0) })
        {
            Scenario s = new Scenario { Name = "hid read raw " + row.Item1 };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, " + row.Item1 + ")";
            s.Expected = Record(true, true, row.Item2, 2, "hid", false, false, "");
            s.After[HidWritten] = "";
            all.Add(s);
        }
        foreach (var row in new[] { Tuple.Create(0, "0"), Tuple.Create(1, "40"), Tuple.Create(2, "100") })
        {
            Scenario s = new Scenario { Name = "hid write " + row.Item1 + " sends " + row.Item2, Mode = "write", Level = row.Item1 };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 50)";
            s.Expected = Record(true, true, row.Item1, 2, "hid", true, true, "");
            s.After[HidWritten] = row.Item2;
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid on/off device: range 0 to 1", Mode = "write", Level = 1 };
            s.Setup = "[HidKbBacklight]::Attach(0, 1, 0)";
            s.Expected = Record(true, true, 1, 1, "hid", true, true, "");
            s.After[HidWritten] = "1";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid write above an on/off device", Mode = "write", Level = 2 };
            s.Setup = "[HidKbBacklight]::Attach(0, 1, 1)";
            s.Expected = Record(true, true, 1, 1, "hid", false, false, "niveau hors limites");
            s.After[HidWritten] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid level not readable" };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 50); [HidKbBacklight]::Readable = $false";
            s.Expected = Record(true, false, 0, 2, "hid", false, false, "etat HID non lisible (rapport de confirmation absent)");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid first reason kept", Mode = "write", Level = 2 };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 50); [HidKbBacklight]::Readable = $false; " +
                      "[HidKbBacklight]::ReadableAfterWrite = $false";
            s.Expected = Record(true, false, 2, 2, "hid", true, false, "etat HID non lisible (rapport de confirmation absent)");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid set sent without confirmation", Mode = "write", Level = 1 };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 100); [HidKbBacklight]::ReadableAfterWrite = $false";
            s.Expected = Record(true, false, 1, 2, "hid", true, false, "commande HID envoyee ; confirmation indisponible");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid read-back differs", Mode = "write", Level = 1 };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 0); [HidKbBacklight]::ReadBackRaw = 90";
            s.Expected = Record(true, true, 2, 2, "hid", true, false, "lecture de confirmation differente");
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid write refused", Mode = "write", Level = 0 };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 100); [HidKbBacklight]::WriteError = 'aucun rapport HID accepte (erreur 31)'";
            s.Expected = Record(true, false, 2, 2, "hid", false, false, "aucun rapport HID accepte (erreur 31)");
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
            Scenario s = new Scenario { Name = "thinkpad wins over hid and wmi" };
            s.Setup = tpReady + "[HidKbBacklight]::Attach(0, 100, 100); $global:WmiClass = $true";
            s.Expected = Record(true, true, 1, 2, "thinkpad-pm", false, false, "");
            s.After[WmiCalls] = "";
            all.Add(s);
        }
        {
            Scenario s = new Scenario { Name = "hid wins over wmi" };
            s.Setup = "[HidKbBacklight]::Attach(0, 100, 100); $global:WmiClass = $true";
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

    static void CompileStandIns(string scriptText)
    {
        string standIns;
        using (Stream stream = typeof(Scenarios).Assembly.GetManifestResourceStream("StandIns.cs"))
        using (StreamReader reader = new StreamReader(stream))
        {
            standIns = reader.ReadToEnd();
        }
        string realTp = Program.EmbeddedSource(scriptText, "TpKbBacklightSource").Replace("TpKbBacklight", "RealTpKbBacklight");
        string realHid = Program.EmbeddedSource(scriptText, "HidKbBacklightSource").Replace("HidKbBacklight", "RealHidKbBacklight");
        Compilation compilation = Program.Compile("BacklightStandIns", Microsoft.CodeAnalysis.CSharp.LanguageVersion.Latest,
                                                  standIns, realTp, realHid);
        using (MemoryStream image = new MemoryStream())
        {
            var emitted = compilation.Emit(image);
            if (!emitted.Success)
            {
                throw new InvalidOperationException("stand-ins do not compile: " +
                    string.Join("; ", emitted.Diagnostics.Where(d => d.Severity == DiagnosticSeverity.Error)));
            }
            image.Position = 0;
            // The default context: where PowerShell looks up type names.
            AssemblyLoadContext.Default.LoadFromStream(image);
        }
    }

    public static void Run(string script, string work)
    {
        string scriptText = File.ReadAllText(script);
        CompileStandIns(scriptText);
        string tools = Path.Combine(work, "framework");
        foreach (Scenario scenario in All())
        {
            WriteTools(tools, scenario);
            using (Runspace runspace = Program.OpenRunspace())
            {
                string setup = CimStandIns + "\n[TpKbBacklight]::Reset(); [HidKbBacklight]::Reset()\n" +
                               "$global:FrameworkDir = '" + tools.Replace("'", "''") + "'\n" + scenario.Setup;
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
                foreach (KeyValuePair<string, string> after in scenario.After)
                {
                    string actual = Program.Evaluate(runspace, after.Key == FrameworkCalls ? "(" + after.Key + ") -join ' '" : after.Key);
                    if (actual != after.Value) problems.Add(after.Key + " expected «" + after.Value + "» got «" + actual + "»");
                }
                Program.CheckResult(scenario.Name, problems);
            }
        }
    }
}
