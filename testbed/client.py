"""Installs a stand-in of the endpoint-security client into a Wine prefix.

The stand-in has what the utility reads and changes: the client's registry
keys (NT or 9x layout), its INI file "Wdlscan.ini", its two services (both
real services run by standin_service.exe) and its start-up value in the Run
key. Every piece has a plausible default, can be overridden, or left out:

    install_client(bed)                                   # NT client, defaults
    install_client(bed, ClientOptions(ini=None))           # no INI file
    install_client(bed, ClientOptions(listener=False))     # no listener service
    opts = ClientOptions(); opts.ini["NT_RUN_KEY"] = None  # key left out of INI

`bed` is a test-bed prefix (tests/e2e/winebed.py Bed): it provides
c_path(), regedit_import(), probe() and testbed_exe().
"""

from __future__ import annotations

import dataclasses
import shutil
from dataclasses import dataclass, field

RUN_KEY = r"SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
NT_KEY = r"SOFTWARE\Halvex\SentovaNTCorp\CurrentVersion"
NT_PROXY_KEY = NT_KEY + r"\Mics."
W9X_KEY = r"SOFTWARE\Halvex\WardlineCorp\CurrentVersion"
INI_NAME = "Wdlscan.ini"
INI_SECTION = "INI_CLIENT_SETUP_SECTION"

NT_FOLDER = r"C:\Program Files\Halvex\Sentova NT"
WINDOWS_INI = r"C:\windows\Wdlscan.ini"
W9X_MARKER = "STVWIN97.EXE"
W9X_FOLDER = r"C:\Program Files\Halvex\Wardline"

SERVICE_AUTO_START = 2
SERVICE_DEMAND_START = 3
SERVICE_ERROR_IGNORE = 0
SERVICE_ERROR_NORMAL = 1


class Dword(int):
    """A registry value to be stored as REG_DWORD."""


def _default_ini() -> dict:
    return {
        "NT_REAL_TIME_SERVICE_FILENAME": "rtguard.exe",
        "NT_HXLISTEN_SERVICE_FILENAME": "hxlisten.exe",
        "NT_MENU_IOMONITOR_ITEM_FILENAME": "stvmon.exe",
        "NT_RUN_KEY": "Sentova NT Monitor",
        "95_MENU_MAIN_ITEM_FILENAME": "wardline.exe",
        "95_RUN_KEY": "Wardline Client",
        "95_RUN_KEY_FILE_NAME": "wardline.exe",
        "NT_RUN_KEY_FILE_NAME": "stvmon.exe",
        "NT_MENU_IOMONITOR_ITEM": "Sentova NT Monitor",
    }


def _default_nt_values() -> dict:
    return {
        "Application Path": NT_FOLDER,
        "InstallPath": NT_FOLDER,
        "Program Version": "5.2.0.1104",
        "Mode": Dword(1),
        "Server": "wardline-console.example.test",
        "ServerPort": Dword(8080),
        "GUID": "{6F1C2A4E-3B5D-4C7E-9A8B-1D2E3F405162}",
    }


def _default_nt_proxy_values() -> dict:
    return {
        "UseProxy": Dword(0),
        "ProxyIP": "proxy.example.test",
        "ProxyPort": Dword(3128),
        "ProxyLogin": "",
        "ProxyPwd": "",
    }


def _default_9x_values() -> dict:
    return {
        "Application Path": W9X_FOLDER,
        "Program Version": "4.7.0.512",
        "Server": "wardline-console.example.test",
        "ServerPort": Dword(8080),
        "UseProxy": Dword(0),
        "ProxyServer": "proxy.example.test",
        "ProxyPort": Dword(3128),
        "ProxyLogin": "",
        "ProxyPassword": "",
    }


@dataclass
class ServiceDef:
    name: str
    file: str  # file name inside the client folder
    display_name: str
    start_type: int = SERVICE_AUTO_START
    error_control: int = SERVICE_ERROR_NORMAL
    dependencies: list = field(default_factory=list)
    account: str = ""  # "" is LocalSystem


@dataclass
class ClientOptions:
    """What to install. A value of None in any dict leaves that item out."""

    layout: str = "nt"  # "nt" or "9x" (the 9x key, in addition to the NT key's folder)
    folder: str | None = None  # client folder; default by layout
    nt_values: dict = field(default_factory=_default_nt_values)
    nt_proxy_values: dict = field(default_factory=_default_nt_proxy_values)
    w9x_values: dict = field(default_factory=_default_9x_values)
    ini: dict | None = field(default_factory=_default_ini)  # None: no INI file
    # The listener differs from the defaults in account and error control, so
    # that a test can see that preparation changes its start type only. No
    # dependencies: Wine 8 drops a service's dependencies on any
    # ChangeServiceConfig call, even one that passes NULL for them.
    listener: ServiceDef | None = field(default_factory=lambda: ServiceDef(
        "hxlisten", "hxlisten.exe", "Sentova NT Listener",
        error_control=SERVICE_ERROR_IGNORE, account="NT AUTHORITY\\LocalService"))
    realtime: ServiceDef | None = field(default_factory=lambda: ServiceDef(
        "rtguard", "rtguard.exe", "Sentova NT Real-time Guard"))
    start_services: bool = True
    run_values: bool = True  # the client's own Run values (NT_RUN_KEY / 95_RUN_KEY)
    # The client's programs (standin_client.exe) copied into the folder under
    # the INI's file names: the NT monitor program, the 9x main program.
    programs: bool = True
    # Roles of standin_client.exe to start now: "main", "update", "monitor", "main9x".
    running: list = field(default_factory=list)


@dataclass
class InstalledClient:
    options: ClientOptions
    folder: str
    ini_path: str | None
    services: list  # ServiceDef of the installed services
    run_values: dict  # name -> command stored in the Run key
    programs: dict  # role -> Windows path of the program file


def reg_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def reg_file(keys: dict) -> str:
    """A REGEDIT4 file; keys maps 'HKEY_...\\path' to {value name: str | Dword}."""
    lines = ["REGEDIT4", ""]
    for key, values in keys.items():
        lines.append(f"[{key}]")
        for name, data in values.items():
            if data is None:
                continue
            if isinstance(data, Dword):
                lines.append(f"{reg_string(name)}=dword:{int(data) & 0xFFFFFFFF:08x}")
            else:
                lines.append(f"{reg_string(name)}={reg_string(data)}")
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def ini_text(values: dict) -> bytes:
    lines = [f"[{INI_SECTION}]"]
    lines += [f"{k}={v}" for k, v in values.items() if v is not None]
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def install_client(bed, options: ClientOptions | None = None) -> InstalledClient:
    opts = dataclasses.replace(options) if options else ClientOptions()
    folder = opts.folder or (W9X_FOLDER if opts.layout == "9x" else NT_FOLDER)
    unix_folder = bed.c_path(folder)
    unix_folder.mkdir(parents=True, exist_ok=True)

    keys = {}
    nt_values = dict(opts.nt_values)
    if opts.folder and nt_values.get("Application Path") == NT_FOLDER:
        nt_values["Application Path"] = folder
        nt_values["InstallPath"] = folder
    if opts.layout == "9x":
        w9x = dict(opts.w9x_values)
        if w9x.get("Application Path") == W9X_FOLDER:
            w9x["Application Path"] = folder
        keys["HKEY_LOCAL_MACHINE\\" + W9X_KEY] = w9x
        # The utility reads its client folder from the NT key on every platform.
        nt_values = {"Application Path": folder} if "Application Path" in nt_values else {}
        keys["HKEY_LOCAL_MACHINE\\" + NT_KEY] = nt_values
    else:
        keys["HKEY_LOCAL_MACHINE\\" + NT_KEY] = nt_values
        keys["HKEY_LOCAL_MACHINE\\" + NT_PROXY_KEY] = dict(opts.nt_proxy_values)

    ini_path = None
    if opts.ini is not None:
        ini_path = folder + "\\" + INI_NAME
        (unix_folder / INI_NAME).write_bytes(ini_text(opts.ini))
        if opts.layout == "9x":
            # The 9x client keeps its INI file in the Windows folder.
            bed.c_path(WINDOWS_INI).write_bytes(ini_text(opts.ini))
    if opts.layout == "9x":
        # What tells an installed 9x client: its program in its folder.
        shutil.copyfile(bed.testbed_exe("standin_client.exe"), unix_folder / W9X_MARKER)

    run_values = {}
    ini = opts.ini or {}
    if opts.run_values:
        names = [("NT_RUN_KEY", "NT_MENU_IOMONITOR_ITEM_FILENAME")]
        if opts.layout == "9x":
            names.append(("95_RUN_KEY", "95_MENU_MAIN_ITEM_FILENAME"))
        for run_key, file_key in names:
            name = ini.get(run_key) or _default_ini()[run_key]
            program = ini.get(file_key) or _default_ini()[file_key]
            run_values[name] = f'"{folder}\\{program}" -HideWindow'
        keys["HKEY_LOCAL_MACHINE\\" + RUN_KEY] = run_values
    bed.regedit_import(reg_file(keys))

    services = [s for s in (opts.listener, opts.realtime) if s is not None]
    for svc_def in services:
        shutil.copyfile(bed.testbed_exe("standin_service.exe"), unix_folder / svc_def.file)
        bed.probe("svc-create", svc_def.name, f'"{folder}\\{svc_def.file}"',
                  str(svc_def.start_type), svc_def.display_name,
                  "/".join(svc_def.dependencies), svc_def.account, str(svc_def.error_control))
    if opts.start_services and services:
        bed.probe("svc-start", *[s.name for s in services])
    bed.own_services(s.name for s in services)

    programs = {}
    if opts.programs:
        files = {"monitor": ini.get("NT_MENU_IOMONITOR_ITEM_FILENAME") or "stvmon.exe",
                 "main": "sentova.exe", "update": "stvupd.exe"}
        if opts.layout == "9x":
            files["main9x"] = ini.get("95_RUN_KEY_FILE_NAME") or "wardline.exe"
            extra = ini.get("95_MENU_MAIN_ITEM_FILENAME")
            if extra and extra != files["main9x"]:
                shutil.copyfile(bed.testbed_exe("standin_client.exe"), unix_folder / extra)
        for role, name in files.items():
            shutil.copyfile(bed.testbed_exe("standin_client.exe"), unix_folder / name)
            programs[role] = folder + "\\" + name
    for role in opts.running:
        bed.start_background(programs.get(role) or _copy_program(bed, unix_folder, folder, role),
                             "--role", role)
    return InstalledClient(opts, folder, ini_path, services, run_values, programs)


def _copy_program(bed, unix_folder, folder, role) -> str:
    name = f"standin_{role}.exe"
    shutil.copyfile(bed.testbed_exe("standin_client.exe"), unix_folder / name)
    return folder + "\\" + name
