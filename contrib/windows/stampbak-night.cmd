@echo off
rem Runs one night of stampbak for Task Scheduler and says in the log, on
rem one dated line, what the night did (as stampbak-night.sh does on Linux):
rem
rem   stampbak-night.cmd [--fail-on-warnings] LOG STAMPBAK.EXE OPTION...
rem
rem LOG gets the night's report, then what stampbak wrote to standard
rem error, then a line such as
rem
rem   === 08.12.2026  1:30:00,21 archived D:\Backup\2026_12_08.rar (48213 bytes)
rem   === 09.12.2026  1:30:00,18 nothing changed since D:\Backup\2026_12_08.rar
rem   === 10.12.2026  1:30:00,20 NO BACKUP: Cannot read source directory C:\Data\: ...
rem
rem (date and time as this Windows writes them), with "; N warnings above"
rem where a night had any, so that  findstr /b "===" LOG  shows the nights
rem at a glance; its folder is made if need be. Standard error still gets
rem what stampbak writes there. The exit status is stampbak's (0: the night
rem did its job, 1: no backup was made), or 1 for a night with warnings
rem under --fail-on-warnings: the task's last result shows it.
setlocal EnableExtensions DisableDelayedExpansion
set strict=
if "%~1"=="--fail-on-warnings" (set strict=1& shift)
if [%2]==[] goto usage
set "log=%~1"
set "program=%~2"
shift
shift

rem The options as stampbak reads them: the first letter of a word counts,
rem after one leading - or /; a value option takes the next word.
set "args="
set "dest="
set "stamped="
set "archives="
set "value="
:options
if [%1]==[] goto run
set "word=%~1"
set args=%args% "%~1"
shift
if defined value (
  if "%value%"=="d" set "dest=%word%"
  set "value="
  goto options
)
set "letter=%word:~0,1%"
if "%letter%"=="-" set "letter=%word:~1,1%"
if "%letter%"=="/" set "letter=%word:~1,1%"
for %%v in (s d i e) do if /i "%letter%"=="%%v" set "value=%%v"
if /i "%letter%"=="a" set stamped=1
if /i "%letter%"=="m" set stamped=1
if /i "%letter%"=="r" set archives=1
goto options

:run
for %%f in ("%log%") do set "folder=%%~dpf"
if not exist "%folder%" mkdir "%folder%"
set "work=%TEMP%\stampbak-night-%RANDOM%%RANDOM%"
mkdir "%work%"
if not exist "%work%" exit /b 1
set "record=%dest%\stampbak.record"
if exist "%record%" copy /y "%record%" "%work%\before" > nul
set "began=%DATE% %TIME%"
"%program%"%args% > "%work%\report" 2> "%work%\errors"
set status=%errorlevel%
type "%work%\errors" >&2
type "%work%\report" >> "%log%"
type "%work%\errors" >> "%log%"

rem What standard error says: warnings, and the reason of a night without
rem a backup.
set warnings=0
set "reason="
set "empty="
for /f "usebackq delims=" %%l in ("%work%\errors") do call :said "%%l"
if not "%status%"=="0" (
  set warnings=0
  if not defined reason for /f "usebackq delims=" %%l in ("%work%\errors") do (
    if not defined reason set "reason=%%l"
  )
  call :outcome "NO BACKUP: %%reason%%"
  if not defined reason call :outcome "NO BACKUP: exit status %status%"
  goto write
)
if not defined archives (
  call :outcome "report only: no archive asked for (no -r)"
  goto write
)
call :settings
set "archive=%archive:~0,-1%.rar"
for %%f in ("%archive%") do set "name=%%~nxf"
if not defined stamped set "name=..\%name%"
call :entry "%record%" "%name%" after
call :entry "%work%\before" "%name%" before
if defined after if not "%after%"=="%before%" (
  call :outcome "archived %%archive%% (%%size%% bytes)"
  goto write
)
if defined empty (
  call :outcome "no archive, %%empty%%"
  goto write
)
call :since
call :outcome "nothing changed since %%since%%"

:write
if not "%warnings%"=="0" set "outcome=%outcome%; %warnings% warning"
if not "%warnings%"=="0" if not "%warnings%"=="1" set "outcome=%outcome%s"
if not "%warnings%"=="0" set "outcome=%outcome% above"
>> "%log%" echo === %began% %outcome%
rmdir /s /q "%work%"
if defined strict if "%status%"=="0" if not "%warnings%"=="0" exit /b 1
exit /b %status%

:usage
echo usage: stampbak-night.cmd [--fail-on-warnings] LOG STAMPBAK.EXE OPTION...>&2
exit /b 2

:outcome
set "outcome=%~1"
exit /b 0

rem Counts a line of standard error in, and keeps what it says about the
rem night.
:said
set "line=%~1"
if not "%line:~0,10%"=="stampbak: " exit /b 0
set /a warnings+=1
if "%line:~10,20%"=="no backup was made: " set "reason=%line:~30%"
if "%line:~10,8%"=="ended by" set "reason=%line:~10%"
if "%line:~10,21%"=="no file was selected:" set "empty=%line:~10%"
if defined empty set "empty=%empty:; no archive is made=%"
exit /b 0

rem The night's settings from the head of its report, in one pass that
rem ends after the fourth line, however many files the report lists.
:settings
for /f "usebackq tokens=1,* delims==" %%a in ("%work%\report") do (
  if "%%a"=="SrcDir " set "source=%%b"
  if "%%a"=="DstDir " set "archive=%%b"
  if "%%a"=="IncludeMask " set "include=%%b"
  if "%%a"=="ExcludeMask " (
    set "exclude=%%b"
    goto settingsread
  )
)
:settingsread
rem Each value after its "= ", an empty one left empty.
if defined source set "source=%source:~1%"
if defined archive set "archive=%archive:~1%"
if defined include set "include=%include:~1%"
if defined exclude set "exclude=%exclude:~1%"
exit /b 0

rem RECORD NAME VARIABLE: the scan's start of the finished entry for the
rem archive NAME, and its size into size.
:entry
set "%~3="
set "wanted=%~2"
set "into=%~3"
if not exist "%~1" exit /b 0
for /f "usebackq skip=1 tokens=1-6 delims=	" %%a in ("%~1") do call :named "%%a" "%%c" "%%d" "%%f"
exit /b 0

:named
if not "%~1"=="finished" exit /b 0
if /i not "%~2"=="%wanted%" exit /b 0
set "%into%=%~4"
set "size=%~3"
exit /b 0

rem The newest finished archive of this job: its source as a full path and
rem both lists, as the record spells them.
:since
for %%s in ("%source%") do set "source=%%~fs"
if not "%source:~-1%"=="\" set "source=%source%\"
set "since=the last archive"
for /f "usebackq skip=1 tokens=1-10 delims=	" %%a in ("%record%") do call :ofjob "%%a" "%%c" "%%h" "%%i" "%%j"
if not "%since:~0,3%"=="..\" (
  if not "%since%"=="the last archive" set "since=%dest%\%since%"
  exit /b 0
)
for %%d in ("%dest%\..") do set "since=%%~fd\%since:~3%"
exit /b 0

:ofjob
if not "%~1"=="finished" exit /b 0
if /i not "%~3"=="%source%" exit /b 0
if not "%~4"=="%include%" exit /b 0
if not "%~5"=="%exclude%" exit /b 0
set "since=%~2"
exit /b 0
