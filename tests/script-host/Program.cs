// Test host of the keyboard-backlight script. Runs on Linux with the PowerShell SDK:
//   ScriptHost language  <script>                 the script parses, uses nothing newer than
//                                                 Windows PowerShell 5.1, and its C# compiles as
//                                                 C# 5 against .NET Framework 4.5
//   ScriptHost scenarios <script> <work> <sim>    every back end driven, the script's own C# types
//                                                 running against the simulated Windows library
//                                                 <sim> (tests/winabi-sim)
// Prints one line per check and a closing "N passed, N failed"; exits 1 when a check failed.
using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;
using System.IO;
using System.Linq;
using System.Management.Automation;
using System.Management.Automation.Language;
using System.Management.Automation.Runspaces;
using System.Reflection;
using System.Text.RegularExpressions;
using Microsoft.CodeAnalysis;
using Microsoft.CodeAnalysis.CSharp;

internal static class Program
{
    static int passed;
    static int failed;

    internal static void CheckFailed(string name, string detail) { Check(name, false, detail); }

    internal static void CheckResult(string name, List<string> problems)
    {
        Check(name, problems.Count == 0, string.Join("; ", problems));
    }

    internal static void Check(string name, bool ok, string detail = "")
    {
        if (ok)
        {
            passed++;
            Console.Error.WriteLine("ok   " + name);
        }
        else
        {
            failed++;
            Console.Error.WriteLine("FAIL " + name + (detail.Length > 0 ? ": " + detail : ""));
        }
    }

    static int Main(string[] args)
    {
        if (args.Length < 2 || (args[0] == "scenarios" && args.Length < 4))
        {
            Console.Error.WriteLine("usage: ScriptHost language|scenarios <script> [<work dir> <simulation library>]");
            return 2;
        }
        string script = Path.GetFullPath(args[1]);
        string work = args.Length > 2 ? Path.GetFullPath(args[2]) : Path.GetTempPath();
        Directory.CreateDirectory(work);
        switch (args[0])
        {
            case "language": Language(script); break;
            case "scenarios": Scenarios.Run(script, work, Path.GetFullPath(args[3])); break;
            default:
                Console.Error.WriteLine("unknown mode " + args[0]);
                return 2;
        }
        // Through the original standard output: the script itself writes to Console.Out.
        Console.Error.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 && passed > 0 ? 0 : 1;
    }

    // The C# of one here-string of the script: $Name = @' ... '@.
    internal static string EmbeddedSource(string scriptText, string variable)
    {
        Match match = Regex.Match(scriptText, @"^\$" + variable + @" = @'\n(.*?)\n'@$",
                                  RegexOptions.Singleline | RegexOptions.Multiline);
        if (!match.Success) throw new InvalidOperationException("here-string $" + variable + " not found");
        return match.Groups[1].Value;
    }

    // What Add-Type of Windows PowerShell 5.1 compiles against: the .NET Framework's mscorlib and
    // System (reference assemblies restored from NuGet, their folder recorded at build time).
    static IEnumerable<MetadataReference> FrameworkReferences()
    {
        string folder = typeof(Program).Assembly.GetCustomAttributes<AssemblyMetadataAttribute>()
            .Single(attribute => attribute.Key == "NetFramework45").Value;
        return new[] { "mscorlib.dll", "System.dll" }
            .Select(name => MetadataReference.CreateFromFile(Path.Combine(folder, "build", ".NETFramework", "v4.5", name)));
    }

    static Compilation Compile(string name, params string[] sources)
    {
        CSharpParseOptions options = new CSharpParseOptions(LanguageVersion.CSharp5);
        return CSharpCompilation.Create(name, sources.Select(source => CSharpSyntaxTree.ParseText(source, options)),
                                        FrameworkReferences(),
                                        new CSharpCompilationOptions(OutputKind.DynamicallyLinkedLibrary));
    }

    static string Errors(Compilation compilation)
    {
        return string.Join("; ", compilation.GetDiagnostics().Where(d => d.Severity == DiagnosticSeverity.Error)
                                     .Select(d => d.ToString()));
    }

    // Constructs of PowerShell 6 and 7 that Windows PowerShell 5.1 does not parse or run.
    static List<string> NewerThan51(string source)
    {
        Token[] tokens;
        ParseError[] errors;
        ScriptBlockAst ast = Parser.ParseInput(source, out tokens, out errors);
        List<string> found = errors.Select(e => "parse error: " + e.Message).ToList();
        Dictionary<TokenKind, string> newer = new Dictionary<TokenKind, string> {
            { TokenKind.QuestionMark, "ternary ? :" },
            { TokenKind.QuestionQuestion, "??" },
            { TokenKind.QuestionQuestionEquals, "??=" },
            { TokenKind.QuestionDot, "?." },
            { TokenKind.QuestionLBracket, "?[" },
            { TokenKind.AndAnd, "&& between pipelines" },
            { TokenKind.OrOr, "|| between pipelines" },
            { TokenKind.Clean, "clean block" },
        };
        foreach (Token token in tokens)
        {
            string what;
            if (newer.TryGetValue(token.Kind, out what)) found.Add(what + " at line " + token.Extent.StartLineNumber);
        }
        foreach (CommandAst command in ast.FindAll(node => node is CommandAst, true).Cast<CommandAst>())
        {
            string name = command.GetCommandName() ?? "";
            bool forEach = name.Equals("ForEach-Object", StringComparison.OrdinalIgnoreCase) ||
                           name == "%" || name.Equals("foreach", StringComparison.OrdinalIgnoreCase);
            bool parallel = command.CommandElements.OfType<CommandParameterAst>().Any(
                p => p.ParameterName.Length >= 2 &&
                     "parallel".StartsWith(p.ParameterName, StringComparison.OrdinalIgnoreCase) &&
                     p.ParameterName.StartsWith("pa", StringComparison.OrdinalIgnoreCase));
            if (forEach && parallel) found.Add("ForEach-Object -Parallel at line " + command.Extent.StartLineNumber);
        }
        return found;
    }

    static void Language(string script)
    {
        string text = File.ReadAllText(script);
        List<string> newer = NewerThan51(text);
        Check("script parses and uses only Windows PowerShell 5.1 syntax", newer.Count == 0, string.Join("; ", newer));

        // The checker itself: each construct it looks for is found.
        string[] samples = {
            "$a = $b ? 1 : 2", "$a = $b ?? 1", "$a ??= 1", "${a}?.Length", "${a}?[0]", "git status && echo ok",
            "git status || echo no", "1..3 | ForEach-Object -Parallel { $_ }", "1..3 | % -Par { $_ }",
            "function f { process { } clean { } }"
        };
        foreach (string sample in samples)
        {
            Check("checker flags: " + sample, NewerThan51(sample).Count > 0);
        }
        Check("checker passes 5.1 syntax", NewerThan51("if ($a) { 1 } else { 2 }; $x = @{ a = 1 }; $a -and $b").Count == 0);

        foreach (string type in new[] { "TpKbBacklight", "HidKbBacklight" })
        {
            string source = EmbeddedSource(text, type + "Source");
            Compilation compilation = Compile(type, source);
            string errors = Errors(compilation);
            Check(type + " compiles as C# 5 against .NET Framework 4.5", errors.Length == 0, errors);
            Check(type + " is defined by its source",
                  compilation.GetTypeByMetadataName(type) != null);
        }
        // The language level really is enforced: a C# 6 feature fails at C# 5.
        Check("C# 5 refuses string interpolation",
              Errors(Compile("newer", "class C { string S(int i) { return $\"{i}\"; } }")).Length > 0);
        Check("C# 5 refuses nameof",
              Errors(Compile("newer", "class C { string S(int i) { return nameof(i); } }")).Length > 0);
        // And so is the library: .NET Framework has no string.Contains(char).
        Check(".NET Framework 4.5 lacks string.Contains(char)",
              Errors(Compile("newer", "class C { bool S(string s) { return s.Contains('a'); } }")).Length > 0);

        byte[] bytes = File.ReadAllBytes(script);
        Check("no byte-order mark", !(bytes.Length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF));
        Check("ASCII with line feeds only", bytes.All(b => b == 0x0A || (b >= 0x20 && b < 0x7F)));
    }

    internal sealed class ScriptRun
    {
        public string Output = "";
        public int PipelineItems;
        public string Failure;
    }

    internal static ScriptRun RunScript(Runspace runspace, string script, string mode, int level, string frameworkDir)
    {
        ScriptRun run = new ScriptRun();
        StringWriter captured = new StringWriter();
        TextWriter original = Console.Out;
        Console.SetOut(captured);
        try
        {
            using (PowerShell shell = PowerShell.Create())
            {
                shell.Runspace = runspace;
                shell.AddCommand(script).AddParameter("Mode", mode).AddParameter("Level", level)
                     .AddParameter("FrameworkDir", frameworkDir);
                Collection<PSObject> items = shell.Invoke();
                run.PipelineItems = items.Count;
                if (shell.Streams.Error.Count > 0) run.Failure = string.Join("; ", shell.Streams.Error);
            }
        }
        catch (Exception error)
        {
            run.Failure = error.GetType().Name + ": " + error.Message;
        }
        finally
        {
            Console.SetOut(original);
        }
        run.Output = captured.ToString();
        return run;
    }

    internal static Runspace OpenRunspace()
    {
        InitialSessionState state = InitialSessionState.CreateDefault2();
        Runspace runspace = RunspaceFactory.CreateRunspace(state);
        runspace.Open();
        return runspace;
    }

    internal static string Evaluate(Runspace runspace, string expression)
    {
        using (PowerShell shell = PowerShell.Create())
        {
            shell.Runspace = runspace;
            shell.AddScript(expression);
            try
            {
                Collection<PSObject> items = shell.Invoke();
                if (shell.Streams.Error.Count > 0) return "error: " + shell.Streams.Error[0];
                return string.Join(",", items.Select(item => item == null ? "" : item.ToString()));
            }
            catch (Exception error)
            {
                return "error: " + (error.InnerException ?? error).Message;
            }
        }
    }
}
