@echo off
rem Example App's installer: the worked example of docs/installer-guide.md.
rem
rem   install.bat [FOLDER]     run as administrator; FOLDER defaults to %ProgramFiles%\Example App
rem
rem Beside it: payload\ (the application's files) and uninstall.exe, the uninstaller packed from
rem example-app.json:  uninstpack build example-app.json --stub uninst.exe -o uninstall.exe
rem It copies the files, writes the application's key, raises the shared file's count, puts the
rem uninstaller into the install folder and registers it under the Uninstall key. Windows 2000 and
rem later (cmd.exe and reg.exe); exit code 0 when everything was written.
setlocal EnableExtensions

rem The uninstaller is a 32-bit program. On 64-bit Windows run this script as one too, so that it
rem writes what the uninstaller reads: %ProgramFiles% is then "Program Files (x86)", reg.exe writes
rem HKLM\Software in the 32-bit view (Wow6432Node) and System32 is SysWOW64.
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" if exist "%SystemRoot%\SysWOW64\cmd.exe" (
  "%SystemRoot%\SysWOW64\cmd.exe" /d /c ""%~f0" %*"
  exit /b
)

set "SOURCE=%~dp0"
set "TARGET=%~1"
rem Directly below Program Files: the uninstaller removes its own folder last, but not the one above.
if "%TARGET%"=="" set "TARGET=%ProgramFiles%\Example App"
rem One spelling of the folder everywhere: the uninstaller builds the shared file's count name from
rem the path it was started with, which is the one registered below.
for %%i in ("%TARGET%") do set "TARGET=%%~fi"
if "%TARGET:~-1%"=="\" set "TARGET=%TARGET:~0,-1%"

set "APP_KEY=HKLM\Software\Example Co\Example App"
set "UNINSTALL_KEY=HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Example App"
set "SHARED_KEY=HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs"
set "SHARED_FILE=%TARGET%\Common\example-runtime.dll"

if not exist "%SOURCE%uninstall.exe" (
  echo install: %SOURCE%uninstall.exe is missing: pack it with uninstpack build first 1>&2
  exit /b 1
)
rem Installed here before (a repair over itself): this installation counted its shared file already.
set REINSTALL=
reg query "%APP_KEY%" /v InstallDir >nul 2>&1
if not errorlevel 1 set REINSTALL=1
rem The first write under HKLM also tells whether the script runs as administrator.
reg add "%APP_KEY%" /v InstallDir /d "%TARGET%" /f >nul 2>&1
if errorlevel 1 (
  echo install: cannot write %APP_KEY%: run the installer as administrator 1>&2
  exit /b 1
)
reg add "%APP_KEY%" /v Version /d 1.0 /f >nul
if errorlevel 1 goto Failed

rem The files, exactly those example-app.json lists.
for %%d in ("%TARGET%" "%TARGET%\Data" "%TARGET%\Common") do if not exist "%%~d\" md "%%~d"
if not exist "%TARGET%\Common\" goto Failed
copy /y "%SOURCE%payload\example.exe" "%TARGET%\example.exe" >nul
if errorlevel 1 goto Failed
copy /y "%SOURCE%payload\readme.txt" "%TARGET%\readme.txt" >nul
if errorlevel 1 goto Failed
copy /y "%SOURCE%payload\Data\default.ini" "%TARGET%\Data\default.ini" >nul
if errorlevel 1 goto Failed
copy /y "%SOURCE%payload\Common\example-runtime.dll" "%SHARED_FILE%" >nul
if errorlevel 1 goto Failed

rem A shared file's count is raised by one for each installation that uses it, never set: another
rem program may have counted it already. The uninstaller lowers it and removes the file at 0.
if defined REINSTALL goto Counted
set COUNT=0
set LINE=
for /f "delims=" %%l in ('reg query "%SHARED_KEY%" /v "%SHARED_FILE%" 2^>nul ^| find "REG_DWORD"') do set "LINE=%%l"
if defined LINE set /a COUNT=%LINE:*REG_DWORD=%
set /a COUNT+=1
reg add "%SHARED_KEY%" /v "%SHARED_FILE%" /t REG_DWORD /d %COUNT% /f >nul
if errorlevel 1 goto Failed
:Counted

rem The uninstaller last, so that a failed installation is not registered.
copy /y "%SOURCE%uninstall.exe" "%TARGET%\uninstall.exe" >nul
if errorlevel 1 goto Failed

rem EstimatedSize is in KB.
set BYTES=0
for /r "%TARGET%" %%f in (*) do set /a BYTES+=%%~zf
set /a SIZE_KB=(BYTES + 1023) / 1024

reg add "%UNINSTALL_KEY%" /v DisplayName /d "Example App" /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v DisplayVersion /d 1.0 /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v Publisher /d "Example Co" /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v InstallLocation /d "%TARGET%" /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v DisplayIcon /d "%TARGET%\uninstall.exe,0" /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v UninstallString /d "\"%TARGET%\uninstall.exe\"" /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v QuietUninstallString /d "\"%TARGET%\uninstall.exe\" /Q" /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v EstimatedSize /t REG_DWORD /d %SIZE_KB% /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v NoModify /t REG_DWORD /d 1 /f >nul
if errorlevel 1 goto Failed
reg add "%UNINSTALL_KEY%" /v NoRepair /t REG_DWORD /d 1 /f >nul
if errorlevel 1 goto Failed

echo Example App is installed in %TARGET%.
exit /b 0

:Failed
echo install: a step failed; Example App is not registered (run the installer again, or remove %TARGET%) 1>&2
exit /b 1
