@echo off
rem Runs ostrand's Windows-side tests, the programs beside this script, one after another, on the
rem system that runs it: Windows, or Wine (scripts/test runs it under Wine's cmd). Prints one line per
rem test, and what a failed test printed; ends with "N passed, M failed" (then ", K skipped" when
rem some were skipped) and exits 0 only when nothing failed and something passed. Needs nothing
rem installed and works from any folder. The tests write only below a temporary folder of their own,
rem which goes when they end.
setlocal
set "here=%~dp0"
set passed=0
set failed=0
set skipped=0
set "TEMP=%TEMP%\ostrand-tests-%RANDOM%%RANDOM%"
set "TMP=%TEMP%"
mkdir "%TEMP%"
if not exist "%TEMP%\" exit /b 1

for %%t in (command_line_differential_test command_prompt_report_test environment_test image_test
            launch_test own_inputs_test vulkan_probe_test) do call :run %%t %%t
rem The end-to-end tests again on a copy of the launcher moved to another base, and once more with
rem every free region below 4 GiB reserved in the launcher before it runs.
set OSTRAND_LAUNCHER=ostrand_rebased.exe
set OSTRAND_LAUNCHER_BASE=@rebased_base@
for %%t in (launch_test vulkan_probe_test) do call :run %%t.rebased_@rebased_base@ %%t
set OSTRAND_RESERVE_LOW_MEMORY=1
for %%t in (launch_test vulkan_probe_test) do call :run %%t.above_4gib %%t

rem What needs the Linux side of a Wine run (scripts/test runs these under Wine).
call :skip real_vulkan "it needs Xvfb, and the host's Vulkan loader and Mesa's lavapipe behind Wine's own loader"
call :skip real_vulkan_layer "it needs the host Vulkan layer that adds the fragment density map behind Wine's own loader"
call :skip no_window "it needs Xvfb to watch for windows, and the program break of Wine's fixed-address loader"

rd /s /q "%TEMP%"
set "closing=%passed% passed, %failed% failed"
if %skipped% gtr 0 set "closing=%closing%, %skipped% skipped"
echo %closing%
if %failed% gtr 0 exit /b 1
if %passed% equ 0 exit /b 1
exit /b 0

rem :run NAME PROGRAM: runs PROGRAM.exe and says how it went: a program that passed with its own count of
rem checks and any part that it skipped, one that failed with all that it printed. Each keeps its output
rem in a file of its own, which nothing that it started and left behind can hold open for the next.
:run
set "output=%TEMP%\%1.txt"
"%here%%2.exe" >"%output%" 2>&1
set status=%errorlevel%
if %status% neq 0 goto failed
set last=
for /f "usebackq delims=" %%l in ("%output%") do set "last=%%l"
echo %1: passed (%last%)
"%SystemRoot%\System32\find.exe" "SKIPPED: " <"%output%"
set /a passed+=1
goto :eof
:failed
echo %1: failed with status %status%; it printed:
type "%output%"
set /a failed+=1
goto :eof

rem :skip NAME WHY
:skip
echo %1: skipped, %~2
set /a skipped+=1
goto :eof
