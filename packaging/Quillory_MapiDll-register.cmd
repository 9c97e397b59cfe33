@echo off
rem Registers the Quillory_MapiDll DLLs in this script's folder, the
rem client's folder, as the system's Simple MAPI provider, for 64-bit and
rem 32-bit programs alike. Run it as an administrator from where it lies,
rem beside Quillory.exe. It writes what Quillory_MapiDll.reg writes, with
rem this folder in place of C:\Program Files\Quillory, and on 32-bit
rem Windows the x86 DLL as the event log source's message file.
rem Delayed expansion stays off throughout: it eats a ! in the name, and
rem Wine's cmd expands again what it substitutes. The folder is used only
rem inside double quotes, which no Windows name can hold, or through a FOR
rem variable, whose value cmd no longer parses, so & ^ ( ) ! and spaces in
rem it stay plain text. Its first characters (c1: the first, c12: the first
rem two, c23: the second and third, c3: the third) are cut on lines of their
rem own: cut from an empty name, they leave text that misparses the rest of
rem a line.
setlocal DisableDelayedExpansion
set "QuilloryFolder=%~dp0"
set "c1=%QuilloryFolder:~0,1%"
set "c12=%QuilloryFolder:~0,2%"
set "c23=%QuilloryFolder:~1,2%"
set "c3=%QuilloryFolder:~2,1%"

rem Only a full path may reach DLLPath: a relative one, or a bare file
rem name (cmd gives an empty %~dp0 for a folder over MAX_PATH), is
rem resolved in each caller's current folder, where anyone can plant a
rem DLL of that name.
set "full="
if "%c23%"==":\" for %%L in (A B C D E F G H I J K L M N O P Q R S T U V W X Y Z) do (
  if /i "%c1%"=="%%L" set "full=1"
)
if "%c12%"=="\\" if not "%c3%"=="\" if not "%c3%"=="" set "full=1"
if not defined QuilloryFolder set "full="
if not defined full goto relative

rem The mail stub expands %NAME% in DLLPath inside each calling program,
rem so a folder whose name holds % would name a file somewhere else. Looked
rem for in what set lists, which expands nothing (Wine's cmd would expand a
rem % in %QuilloryFolder% again), and lists with it only variables whose
rem names start with QuilloryFolder: none but this one.
set "probe=%TEMP%\Quillory_MapiDll-folder.txt"
>"%probe%" set QuilloryFolder
find "%%" "%probe%" >nul
set "found=%errorlevel%"
del "%probe%" >nul 2>&1
if "%found%"=="0" goto percent

rem Without the client every caller would wait 30 s for nothing.
if not exist "%QuilloryFolder%Quillory.exe" goto noclient

rem 32-bit Windows has one view of the registry; 64-bit Windows (x64 or
rem ARM64) two, whether this script runs as a 64-bit or a 32-bit program.
rem Decided by what the system holds, not by PROCESSOR_ARCHITECTURE, which
rem the caller's environment may have set to anything.
if not exist "%SystemRoot%\SysWOW64\" (
  call :write
  if not errorlevel 1 call :eventsource x86
  goto written
)
call :write /reg:64
if not errorlevel 1 call :write /reg:32
if not errorlevel 1 call :eventsource AMD64
:written
if errorlevel 1 goto refused
rem The value is spelled out where it is used, here and in :write: %% keeps
rem a literal % that nothing expands again, while a variable holding it
rem would have %PROCESSOR_ARCHITECTURE% expanded on its way out by Wine's
rem cmd.
for %%V in ("%QuilloryFolder%Quillory_MapiDll_%%PROCESSOR_ARCHITECTURE%%.dll") do echo Registered: DLLPath %%~V
exit /b 0

:write
reg add "HKLM\SOFTWARE\Clients\Mail" /ve /d Quillory /f %1 >nul
if errorlevel 1 exit /b 1
reg add "HKLM\SOFTWARE\Clients\Mail\Quillory" /ve /d Quillory /f %1 >nul
if errorlevel 1 exit /b 1
reg add "HKLM\SOFTWARE\Clients\Mail\Quillory" /v DLLPath /t REG_EXPAND_SZ /d "%QuilloryFolder%Quillory_MapiDll_%%PROCESSOR_ARCHITECTURE%%.dll" /f %1 >nul
if errorlevel 1 exit /b 1
exit /b 0

:eventsource
rem The event log's source, one key in both views: Event Viewer reads the
rem messages from the DLL's message table, loaded as data.
reg add "HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quillory MAPI" /v EventMessageFile /t REG_EXPAND_SZ /d "%QuilloryFolder%Quillory_MapiDll_%1.dll" /f >nul
if errorlevel 1 exit /b 1
reg add "HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quillory MAPI" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 exit /b 1
exit /b 0

:relative
echo Not registered: this script's folder is not a full path ("%QuilloryFolder%").
echo Run it from the client's folder, as X:\... or \\server\share\..., with
echo this script's own path under 260 characters: a folder of about 228 at most.
exit /b 2

:percent
echo Not registered: the folder's name holds %%, which every calling program
echo would expand. Install the client in a folder without %% in its name.
exit /b 2

:noclient
for %%F in ("%QuilloryFolder%") do echo Not registered: Quillory.exe is not in %%~F
echo Install the client first, then run this script from its folder.
exit /b 2

:refused
echo Not registered: the registry refused the change. Run this script as an
echo administrator.
exit /b 1
