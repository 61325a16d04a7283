@echo off
rem Creates a Task Scheduler task that backs up C:\Data into stamped
rem archives in D:\Backup every night at 01:30, as SYSTEM, whether or not
rem anyone is logged on. The report and the warnings or failure text are
rem appended to log files in C:\Logs, each night's behind a dated line;
rem the task makes the folder first: a redirection into a missing folder
rem would stop the run before it starts. The task's last result is
rem stampbak's exit status (0 or 1). SYSTEM sees no mapped drive letters:
rem use local or UNC paths. rar.exe is looked for in C:\Tools (set below)
rem and on the PATH of the SYSTEM account.
schtasks /Create /F /TN "stampbak nightly" /SC DAILY /ST 01:30 /RU SYSTEM ^
  /TR "cmd /c (if not exist C:\Logs mkdir C:\Logs) && set PATH=C:\Tools;%%PATH%%&& (echo === %%DATE%% %%TIME%%& C:\Tools\stampbak.exe -s C:\Data -d D:\Backup -a -r) >> C:\Logs\stampbak.log 2>> C:\Logs\stampbak-errors.log"
