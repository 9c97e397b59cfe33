@echo off
rem Registers the Quillory_MapiDll DLLs in this script's folder, the
rem client's folder, as the system's Simple MAPI provider, for 64-bit and
rem 32-bit programs alike. Run it as an administrator from where it lies,
rem beside Quillory.exe. It writes what Quillory_MapiDll.reg writes, with
rem this folder in place of C:\Program Files\Quillory.
rem Read before delayed expansion is on, which would eat a ! in the name.
rem Its first characters (c1: the first, c12: the first two, c23: the
rem second and third, c3: the third) are cut here too: Wine's cmd cuts no
rem substrings under delayed expansion.
setlocal DisableDelayedExpansion
set "folder=%~dp0"
set "c1=%folder:~0,1%"
set "c12=%folder:~0,2%"
set "c23=%folder:~1,2%"
set "c3=%folder:~2,1%"
setlocal EnableDelayedExpansion
rem A literal %, used only through delayed expansion, which nothing expands
rem again: the value keeps %PROCESSOR_ARCHITECTURE% itself.
set "percent=%%"

rem Only a full path may reach DLLPath: a relative one, or a bare file
rem name (cmd gives an empty %~dp0 for a folder over MAX_PATH), is
rem resolved in each caller's current folder, where anyone can plant a
rem DLL of that name.
set "full="
if "!c23!"==":\" for %%L in (A B C D E F G H I J K L M N O P Q R S T U V W X Y Z) do (
  if /i "!c1!"=="%%L" set "full=1"
)
if "!c12!"=="\\" if not "!c3!"=="\" if not "!c3!"=="" set "full=1"
if not defined folder set "full="
if not defined full goto relative

rem The mail stub expands %NAME% in DLLPath inside each calling program,
rem so a folder whose name holds % would name a file somewhere else.
set "probe=%TEMP%\Quillory_MapiDll-folder.txt"
>"!probe!" echo(!folder!
find "!percent!" "!probe!" >nul
set "found=!errorlevel!"
del "!probe!" >nul 2>&1
if "!found!"=="0" goto percent

rem Without the client every caller would wait 30 s for nothing.
if not exist "!folder!Quillory.exe" goto noclient
set "value=!folder!Quillory_MapiDll_!percent!PROCESSOR_ARCHITECTURE!percent!.dll"

rem 32-bit Windows has one view of the registry; 64-bit Windows (x64 or
rem ARM64) two, whether this script runs as a 64-bit or a 32-bit program.
rem Decided by what the system holds, not by PROCESSOR_ARCHITECTURE, which
rem the caller's environment may have set to anything.
if not exist "%SystemRoot%\SysWOW64\" (
  call :write
  goto written
)
call :write /reg:64
if not errorlevel 1 call :write /reg:32
:written
if errorlevel 1 goto refused
echo Registered: DLLPath !value!
exit /b 0

:write
reg add "HKLM\SOFTWARE\Clients\Mail" /ve /d Quillory /f %1 >nul
if errorlevel 1 exit /b 1
reg add "HKLM\SOFTWARE\Clients\Mail\Quillory" /ve /d Quillory /f %1 >nul
if errorlevel 1 exit /b 1
reg add "HKLM\SOFTWARE\Clients\Mail\Quillory" /v DLLPath /t REG_EXPAND_SZ /d "!value!" /f %1 >nul
if errorlevel 1 exit /b 1
exit /b 0

:relative
echo Not registered: this script's folder is not a full path ("!folder!").
echo Run it from the client's folder, as X:\... or \\server\share\..., at
echo most 260 characters long.
exit /b 2

:percent
echo Not registered: the folder's name holds %%, which every calling program
echo would expand. Install the client in a folder without %% in its name.
exit /b 2

:noclient
echo Not registered: Quillory.exe is not in !folder!
echo Install the client first, then run this script from its folder.
exit /b 2

:refused
echo Not registered: the registry refused the change. Run this script as an
echo administrator.
exit /b 1
