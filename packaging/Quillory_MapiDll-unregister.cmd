@echo off
rem Removes what Quillory_MapiDll-register.cmd (or Quillory_MapiDll.reg)
rem added: the Clients\Mail\Quillory key, in each view of the registry. The
rem default under Clients\Mail is left as it is, since what it named before
rem cannot be known here. Run it as an administrator.
setlocal
rem One view on 32-bit Windows, two on 64-bit Windows: decided by what the
rem system holds, not by the caller's PROCESSOR_ARCHITECTURE.
if not exist "%SystemRoot%\SysWOW64\" (
  call :remove
  goto removed
)
call :remove /reg:64
if not errorlevel 1 call :remove /reg:32
:removed
if errorlevel 1 goto refused
echo Unregistered.
exit /b 0

rem A key that is not there is already removed.
:remove
reg query "HKLM\SOFTWARE\Clients\Mail\Quillory" %1 >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "HKLM\SOFTWARE\Clients\Mail\Quillory" /f %1 >nul
if errorlevel 1 exit /b 1
exit /b 0

:refused
echo Not unregistered: the registry refused the change. Run this script as
echo an administrator.
exit /b 1
