@echo off
rem Creates a Task Scheduler task that backs up C:\Data into stamped
rem archives in D:\Backup every night at 01:30, as SYSTEM, whether or not
rem anyone is logged on. The report and the warnings or failure text go to
rem log files in C:\Logs, which the task makes first: a redirection into a
rem missing folder would stop the run before it starts. The task's last
rem result is stampbak's exit status (0 or 1). SYSTEM sees no mapped drive
rem letters: use local or UNC paths. rar.exe is looked for in C:\Tools (set
rem below) and on the PATH of the SYSTEM account.
schtasks /Create /F /TN "stampbak nightly" /SC DAILY /ST 01:30 /RU SYSTEM ^
  /TR "cmd /c (if not exist C:\Logs mkdir C:\Logs) && set PATH=C:\Tools;%%PATH%%&& C:\Tools\stampbak.exe -s C:\Data -d D:\Backup -a -r > C:\Logs\stampbak.log 2> C:\Logs\stampbak-errors.log"
