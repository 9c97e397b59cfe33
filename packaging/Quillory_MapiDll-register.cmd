@echo off
rem Registers the two Quillory_MapiDll DLLs in this script's folder, the
rem client's folder, as the system's Simple MAPI provider, for 64-bit and
rem 32-bit programs alike. Run it as an administrator from where it lies,
rem beside Quillory.exe. It writes what Quillory_MapiDll.reg writes, with
rem this folder in place of C:\Program Files\Quillory.
rem Read before delayed expansion is on, which would eat a ! in the name.
setlocal DisableDelayedExpansion
set "folder=%~dp0"
setlocal EnableDelayedExpansion
rem A literal %, used only through delayed expansion, which nothing expands
rem again: the value keeps %PROCESSOR_ARCHITECTURE% itself.
set "percent=%%"
rem The mail stub expands %NAME% in DLLPath inside each calling program,
rem so a folder whose name holds % would name a file somewhere else.
set "probe=%TEMP%\Quillory_MapiDll-folder.txt"
>"!probe!" echo(!folder!
find "!percent!" "!probe!" >nul
set "found=!errorlevel!"
del "!probe!" >nul 2>&1
if "!found!"=="0" goto percent
set "value=!folder!Quillory_MapiDll_!percent!PROCESSOR_ARCHITECTURE!percent!.dll"

rem 32-bit Windows has one view of the registry; 64-bit Windows (x64 or
rem ARM64) two, whether this script runs as a 64-bit or a 32-bit program.
if /i "%PROCESSOR_ARCHITECTURE%"=="x86" if not defined PROCESSOR_ARCHITEW6432 (
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

:percent
echo Not registered: the folder's name holds %%, which every calling program
echo would expand. Install the client in a folder without %% in its name.
exit /b 2

:refused
echo Not registered: the registry refused the change. Run this script as an
echo administrator.
exit /b 1
