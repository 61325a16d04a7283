@echo off
rem Creates a Task Scheduler task that backs up a folder into stamped
rem archives every night at 01:30, as SYSTEM, whether or not anyone is
rem logged on. Run it once, as an administrator, after editing:
rem
rem   C:\Data       the folder to back up        (-s)
rem   D:\Backup     where the archives go        (-d)
rem   C:\Tools      where stampbak.exe, stampbak-night.cmd and rar.exe lie
rem   C:\Logs       the log folder, made private here
rem
rem SYSTEM sees no mapped drive letters: use local or UNC paths.
rem stampbak-night.cmd appends each night's report to C:\Logs\stampbak.log,
rem then one dated line saying which archive the night made, that nothing
rem changed since which one, or that no backup was made and why:
rem   findstr /b "===" C:\Logs\stampbak.log
rem The task's last result is 0 for a night that did its job and 1 for a
rem night without a backup, or with warnings (--fail-on-warnings; drop it
rem to let those pass); Task Scheduler's history shows it.
if not exist C:\Logs mkdir C:\Logs
rem Only SYSTEM and the administrators read the log: it names every file.
icacls C:\Logs /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F > nul
schtasks /Create /F /TN "stampbak nightly" /SC DAILY /ST 01:30 /RU SYSTEM ^
  /TR "cmd /c set PATH=C:\Tools;%%PATH%%&& C:\Tools\stampbak-night.cmd --fail-on-warnings C:\Logs\stampbak.log C:\Tools\stampbak.exe -s C:\Data -d D:\Backup -a -r"
