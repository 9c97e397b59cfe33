@echo off
rem Removes what Quillory_MapiDll-register.cmd (or Quillory_MapiDll.reg)
rem added: the Clients\Mail\Quillory key, in each view of the registry, and
rem the event log's source. The default under Clients\Mail is left as it
rem is, since what it named before cannot be known here. Run it as an
rem administrator.
setlocal
rem One view on 32-bit Windows, two on 64-bit Windows: decided by what the
rem system holds, not by the caller's PROCESSOR_ARCHITECTURE.
if not exist "%SystemRoot%\SysWOW64\" (
  call :remove "HKLM\SOFTWARE\Clients\Mail\Quillory"
  goto removed
)
call :remove "HKLM\SOFTWARE\Clients\Mail\Quillory" /reg:64
if not errorlevel 1 call :remove "HKLM\SOFTWARE\Clients\Mail\Quillory" /reg:32
:removed
if not errorlevel 1 call :remove "HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Quillory MAPI"
if errorlevel 1 goto refused
echo Unregistered.
exit /b 0

rem A key that is not there is already removed.
:remove
reg query %1 %2 >nul 2>&1
if errorlevel 1 exit /b 0
reg delete %1 /f %2 >nul
if errorlevel 1 exit /b 1
exit /b 0

:refused
echo Not unregistered: the registry refused the change. Run this script as
echo an administrator.
exit /b 1
