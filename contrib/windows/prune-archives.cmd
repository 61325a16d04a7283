@echo off
rem Removes old date-stamped archives that stampbak -a left in a destination,
rem so that they do not pile up for ever; the same rules as
rem contrib\retention\prune-archives.sh:
rem
rem   prune-archives.cmd [-v] DESTINATION --keep N    keep the newest N archives of each job
rem   prune-archives.cmd [-v] DESTINATION --days D    keep those stamped within D days
rem
rem Only names made by -a (YYYY_MM_DD.rar, YYYY_MM_DD_HH_MM_SS.rar) are
rem touched, and their age is read from the stamp. The record of finished
rem archives (stampbak.record) decides what must stay, and is never touched:
rem an archive a run is making or was making when it was killed stays, and
rem so does the newest finished archive of every job, the one its next run
rem compares against; --keep counts each job's archives on their own. Those
rem the record does not name (made before it) count as one job more, and
rem the newest archive of all always stays. Where the record cannot be
rem read, nothing is removed. Silent when it succeeds; -v names each
rem archive removed. For example, as a second action of the nightly task:
rem
rem   cmd /c C:\Tools\prune-archives.cmd D:\Backup --days 90
setlocal EnableExtensions
set verbose=
if /i "%~1"=="-v" (set verbose=1& shift)
set "dest=%~1"
set "mode=%~2"
set "count=%~3"
if "%dest%"=="" goto usage
if not "%~4"=="" goto usage
if /i not "%mode%"=="--keep" if /i not "%mode%"=="--days" goto usage
rem A count of digits only; the x keeps the variable from going empty.
set "rest=x%count%"
for %%q in (0 1 2 3 4 5 6 7 8 9) do call set "rest=%%rest:%%q=%%"
if "%count%"=="" goto usage
if not "%rest%"=="x" goto usage
if not exist "%dest%\" (
  echo prune-archives: no such directory: %dest%>&2
  exit /b 1
)

if /i "%mode%"=="--days" call :cutoff
if errorlevel 1 exit /b 1
call :record
if errorlevel 1 exit /b 1

rem The stamped archives, each with a key that orders them by their stamp.
set total=0
for /f "delims=" %%f in ('dir /b /a-d "%dest%\*.rar"') do call :stamped "%%f"
set failed=
for /l %%i in (1,1,%total%) do call :judge %%i
if defined failed exit /b 1
exit /b 0

:usage
echo usage: prune-archives.cmd [-v] DESTINATION --keep N ^| --days D>&2
exit /b 2

rem Counts a stamped name in, with its key (YYYYMMDDhhmmss, and 0 for a
rem date alone, 1 with a time) and its day; passes any other name over.
:stamped
set "n=%~1"
set "digits=%n%"
for %%q in (0 1 2 3 4 5 6 7 8 9) do call set "digits=%%digits:%%q=%%"
if not "%n:~4,1%%n:~7,1%"=="__" exit /b
if "%n:~14%"=="" (
  if not "%n:~10%|%digits%"==".rar|__.rar" exit /b
  set "key=%n:~0,4%%n:~5,2%%n:~8,2%0000000"
) else (
  if not "%n:~10,1%%n:~13,1%%n:~16,1%%n:~19%|%digits%"=="___.rar|_____.rar" exit /b
  set "key=%n:~0,4%%n:~5,2%%n:~8,2%%n:~11,2%%n:~14,2%%n:~17,2%1"
)
call :days %n:~0,4% %n:~5,2% %n:~8,2%
set /a total+=1
set "name%total%=%n%"
set "key%total%=%key%"
set "day%total%=%days%"
exit /b

rem Reads each archive's state and job from the record, where there is one:
rem state.NAME and job.NAME. One it cannot read stops everything.
:record
set "record=%dest%\stampbak.record"
if not exist "%record%" exit /b 0
set first=
rem Its attributes: a directory's begin with d, a link's hold an l.
for %%r in ("%record%") do set "attributes=%%~ar"
if not "%attributes:~0,1%"=="-" goto unreadable
if not "%attributes:l=%"=="%attributes%" goto unreadable
for /f "usebackq delims=" %%l in ("%record%") do if not defined first set "first=%%l"
if not "%first%"=="stampbak record 1" goto unreadable
for /f "usebackq skip=1 tokens=1-3 delims=	" %%a in ("%record%") do call :entry "%%a" "%%b" "%%c"
exit /b 0

:unreadable
echo prune-archives: cannot read the record %record%; nothing removed>&2
exit /b 1

:entry
set "state.%~3=%~1"
set "job.%~3=%~2"
exit /b

rem Removes archive %1 unless the rules keep it: one in progress, the
rem newest of all and the newest finished of each job always, and the
rem newest N of its job, or those stamped on or after the cutoff day.
rem Variables are read through call, without delayed expansion, which Wine
rem lacks.
:judge
call set "mine=%%key%1%%"
call set "myday=%%day%1%%"
call set "myname=%%name%1%%"
call set "mystate=%%state.%myname%%%"
call set "myjob=%%job.%myname%%%"
if "%mystate%"=="in-progress" exit /b
set newer=0
set newerinjob=0
for /l %%j in (1,1,%total%) do call :newer %%j
if %newer%==0 exit /b
if not "%myjob%"=="" if %newerinjob%==0 exit /b
if /i "%mode%"=="--keep" if %newerinjob% lss %count% exit /b
if /i "%mode%"=="--days" if %myday% geq %cutoff% exit /b
del /q "%dest%\%myname%"
if exist "%dest%\%myname%" (
  echo prune-archives: cannot remove %dest%\%myname%>&2
  set failed=1
) else if defined verbose (
  echo removed %dest%\%myname%
)
exit /b

:newer
call set "other=%%key%1%%"
if not "%other%" GTR "%mine%" exit /b
call set "othername=%%name%1%%"
call set "otherstate=%%state.%othername%%%"
call set "otherjob=%%job.%othername%%%"
if "%otherstate%"=="in-progress" exit /b
set /a newer+=1
if "%otherjob%"=="%myjob%" set /a newerinjob+=1
exit /b

rem Sets days, a count of days that grows by one each day, for Y M D.
:days
set /a y=%1, m=1%2-100, d=1%3-100
if %m% leq 2 set /a y-=1
set /a era=y/400, yoe=y-era*400, mp=(m+9)%%12
set /a days=era*146097 + yoe*365 + yoe/4 - yoe/100 + (153*mp+2)/5 + d - 1
exit /b

rem Sets cutoff to the day count of today less the days to keep, today in
rem local time whatever the date format.
:cutoff
set today=
for /f "skip=1 tokens=1" %%a in ('wmic os get localdatetime') do if not defined today set "today=%%a"
if not defined today for /f %%a in ('powershell -NoProfile -Command "Get-Date -Format yyyyMMdd"') do set "today=%%a"
if not defined today (
  echo prune-archives: cannot read today's date ^(wmic or PowerShell needed^)>&2
  exit /b 1
)
call :days %today:~0,4% %today:~4,2% %today:~6,2%
set /a cutoff=days - count
exit /b 0
