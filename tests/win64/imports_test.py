"""The Windows .exe opens the WebView2 loader at run time, so it does not
import it (Windows would refuse to start it without the DLL), and ships with
the loader beside it. It imports nothing newer than Windows 10 1607, so it
starts there, and carries a manifest that makes it per-monitor-v2 aware.
Usage: imports_test.py OBJDUMP EXE"""
import pathlib
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from harness import Workspace, fail  # noqa: E402

OBJDUMP, EXE = sys.argv[1:3]

# Every system function the .exe may import, each checked against its
# documented minimum (all Windows 10 1607 or older). A new import fails here
# until someone checks its minimum and adds it. The C runtime (msvcrt.dll)
# is the system's own and is not listed.
REVIEWED = {
    "COMCTL32.dll": "DefSubclassProc RemoveWindowSubclass SetWindowSubclass",
    # IdnToAscii: Windows Vista (Normaliz.dll), in KERNEL32 from Windows 8.
    "KERNEL32.dll": """AddVectoredExceptionHandler CloseHandle CreateEventA CreateFileW
        CreateSemaphoreA CreateWaitableTimerExW DeleteCriticalSection DuplicateHandle
        EnterCriticalSection FormatMessageA FormatMessageW GetCommandLineW GetConsoleMode
        GetCurrentProcess GetCurrentProcessId GetCurrentThread GetCurrentThreadId
        GetEnvironmentVariableW GetFileAttributesW GetFileInformationByHandle GetFileType
        GetHandleInformation GetLastError GetModuleHandleW GetProcAddress GetProcessAffinityMask
        GetStartupInfoA GetStdHandle GetSystemTimeAsFileTime GetThreadContext GetThreadPriority
        GetTickCount64 GetUserDefaultUILanguage GlobalAlloc GlobalFree GlobalLock GlobalUnlock IdnToAscii
        InitializeCriticalSection IsDBCSLeadByteEx IsDebuggerPresent LCIDToLocaleName
        LeaveCriticalSection LoadLibraryExW LoadLibraryW LocalFree MulDiv MultiByteToWideChar OpenProcess
        OutputDebugStringA QueryPerformanceCounter QueryPerformanceFrequency RaiseException
        ReadFile ReleaseSemaphore RemoveVectoredExceptionHandler ResetEvent ResumeThread
        RtlCaptureContext RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind SetEvent
        SetLastError SetProcessAffinityMask SetThreadContext SetThreadPriority
        SetUnhandledExceptionFilter SetWaitableTimer Sleep SuspendThread TlsAlloc TlsGetValue
        TlsSetValue TryEnterCriticalSection VirtualProtect VirtualQuery WaitForMultipleObjects
        WaitForSingleObject WideCharToMultiByte WriteConsoleW WriteFile __C_specific_handler""",
    "SHELL32.dll": "CommandLineToArgvW SHGetKnownFolderPath ShellExecuteExW",
    # GetDpiForWindow and AdjustWindowRectExForDpi: Windows 10 1607.
    "USER32.dll": """AdjustWindowRectEx AdjustWindowRectExForDpi CloseClipboard CreateWindowExW
        DefWindowProcW DestroyWindow DispatchMessageW EmptyClipboard GetClientRect GetDpiForWindow
        GetMessageW GetWindowLongPtrW LoadCursorW OpenClipboard PeekMessageW
        PostMessageW PostQuitMessage RegisterClassExW SetClipboardData SetForegroundWindow
        SetWindowLongPtrW SetWindowPos ShowWindow TranslateMessage""",
    "WS2_32.dll": """WSAGetLastError WSASocketW WSAStartup closesocket connect freeaddrinfo
        getaddrinfo htons recv send setsockopt""",
    "ole32.dll": "CoCreateFreeThreadedMarshaler CoInitializeEx CoTaskMemAlloc CoTaskMemFree CoUninitialize",
}
REVIEWED = {dll.lower(): set(names.split()) for dll, names in REVIEWED.items()}
# Named so the failure says why: later than 1607, each of them.
NEWER = {"SetProcessDpiAwarenessContext": "Windows 10 1703", "SetThreadDpiHostingBehavior": "1803",
         "GetDpiFromDpiAwarenessContext": "1803", "GetSystemDpiForProcess": "1803",
         "SetDialogDpiChangeBehavior": "1703", "GetDpiAwarenessContextForProcess": "1803"}


def imports(dump):
    """(dll, function) for each name in the import tables of `objdump -p`."""
    found, dll = [], None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1)
            continue
        entry = re.match(r"\t[0-9a-f]+\t\s*\d+\s+(\S+)", line)
        if dll and entry:
            found.append((dll, entry.group(1)))
    return found


def resource(image, kind, ident):
    """The bytes of resource KIND/IDENT in the PE IMAGE, or None."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    rsrc_rva = struct.unpack_from("<I", image, optional + 112 + 2 * 8)[0]  # PE32+, entry 2
    table = optional + optional_size
    for i in range(sections):
        _, vsize, vaddr, _, raw = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if vaddr <= rsrc_rva < vaddr + vsize:
            base = raw + rsrc_rva - vaddr
            break
    else:
        return None

    def entries(offset):
        named, ids = struct.unpack_from("<HH", image, base + offset + 12)
        for k in range(named + ids):
            yield struct.unpack_from("<II", image, base + offset + 16 + 8 * k)

    def child(offset, wanted):
        for name, target in entries(offset):
            if wanted is None or name == wanted:
                return target & 0x7FFFFFFF
        return None

    level = child(0, kind)
    level = level is not None and child(level, ident)
    leaf = level and child(level, None)  # any language
    if leaf is None or leaf is False:
        return None
    data_rva, size = struct.unpack_from("<II", image, base + leaf)
    return image[raw + data_rva - vaddr:raw + data_rva - vaddr + size]


with Workspace("win64 imports_test"):
    dump = subprocess.run([OBJDUMP, "-p", EXE], capture_output=True, text=True, check=True).stdout
    if "WebView2Loader.dll" in dump:
        fail("the .exe imports WebView2Loader.dll at load time")
    if "LoadLibraryExW" not in dump or "GetProcAddress" not in dump:
        fail("the .exe does not load its libraries at run time")
    image = pathlib.Path(EXE).read_bytes()
    if b"no WebView2 support" in image:
        fail("the .exe still says it has no WebView2 support")
    if not (pathlib.Path(EXE).parent / "WebView2Loader.dll").is_file():
        fail("no WebView2Loader.dll beside the .exe")

    table = imports(dump)
    if not any(function == "CreateWindowExW" for _, function in table):
        fail("could not read the import table:\n" + dump[:2000])
    for dll, function in table:
        if function in NEWER:
            fail(f"the .exe imports {dll} {function} at load time, which is newer than "
                 f"Windows 10 1607 ({NEWER[function]}); resolve it at run time")
        if dll.lower() != "msvcrt.dll" and function not in REVIEWED.get(dll.lower(), ()):
            fail(f"the .exe imports {dll} {function}, which is not among the imports checked "
                 "against Windows 10 1607: check its minimum version and add it here")

    manifest = resource(image, 24, 1)  # RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID
    if manifest is None:
        fail("the .exe carries no application manifest")
    root = ElementTree.fromstring(manifest)
    text = {element.tag.split("}")[1]: (element.text or "").strip() for element in root.iter()}
    first = text.get("dpiAwareness", "").split(",")[0].strip().lower()
    if first != "permonitorv2":
        fail(f"the manifest's dpiAwareness is {text.get('dpiAwareness')!r}, not PerMonitorV2 first")
    if text.get("dpiAware", "").lower() != "true/pm":
        fail("the manifest's dpiAware, read where dpiAwareness is not, is not true/pm")
    os_ids = {element.get("Id") for element in root.iter() if element.tag.endswith("supportedOS")}
    if "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" not in os_ids:
        fail(f"the manifest does not declare Windows 10 as supported: {os_ids}")
    controls = [element for element in root.iter() if element.tag.endswith("assemblyIdentity")
                and element.get("name") == "Microsoft.Windows.Common-Controls"]
    if not controls or not controls[0].get("version", "").startswith("6."):
        fail("the manifest does not ask for common controls 6")
