@echo off
rem Creates a Task Scheduler task that backs up C:\Data into stamped
rem archives in D:\Backup every night at 01:30, as SYSTEM, whether or not
rem anyone is logged on. The report and the warnings or failure text go to
rem log files; the task's last result is stampbak's exit status (0 or 1).
rem rar.exe is looked for in C:\Tools (set below) and on the PATH of the
rem SYSTEM account.
schtasks /Create /F /TN "stampbak nightly" /SC DAILY /ST 01:30 /RU SYSTEM ^
  /TR "cmd /c set PATH=C:\Tools;%%PATH%%&& C:\Tools\stampbak.exe -s C:\Data -d D:\Backup -a -r > C:\Logs\stampbak.log 2> C:\Logs\stampbak-errors.log"
