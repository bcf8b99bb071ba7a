@echo off
rem The Sorvane launcher's test kit @SORVANE_KIT_VERSION@: checks that launcher.exe and the test
rem programs are the bytes the kit was built with, then runs every test program on that
rem launcher.exe and prints a line for each and a closing line. Nothing but Windows is needed.
rem
rem   run-tests.cmd [--jdk DIR]... [--results DIR] [--timeout SECONDS]
rem
rem   --jdk DIR          a JDK (with bin\javac.exe, bin\jar.exe, bin\javaw.exe) for the real-Java
rem                      test, which runs once for each one given; without one it skips
rem   --results DIR      where each program's JUnit XML, output and summary go (default:
rem                      %TEMP%\sorvane-launcher-tests); the kit replaces only these files there
rem   --timeout SECONDS  how long each program may run before it is ended (default: 600)
rem
rem Exit status: 0 when no test failed, 1 when one did, 2 when the kit is not whole, an option is
rem wrong or the results folder cannot be created.
rem
rem Delayed expansion stays off, as it would drop each "!" of a folder's name; no value from outside
rem goes into a parenthesised block, which a ")" as in "C:\Program Files (x86)" would end; and such a
rem value is echoed through "for /f", as "&" would end an echo.
setlocal EnableExtensions DisableDelayedExpansion
set "kit=%~dp0"
set "results=%TEMP%\sorvane-launcher-tests"
set "SORVANE_TEST_TIMEOUT=600"
call :options %*
if errorlevel 1 (
    echo usage: run-tests.cmd [--jdk DIR]... [--results DIR] [--timeout SECONDS]
    endlocal & exit /b 2
)

"%kit%tests\check_sums.exe" "%kit%SHA256SUMS"
if errorlevel 1 (
    echo The kit is not whole: unpack sorvane-launcher-tests-@SORVANE_KIT_VERSION@.zip again.
    endlocal & exit /b 2
)
if not exist "%results%\" mkdir "%results%" 2>nul
if exist "%results%\" goto results_ready
for /f "delims=" %%v in ("Cannot create the results folder %results%: name another with --results DIR.") do echo %%v
endlocal & exit /b 2
:results_ready
for /f "delims=" %%v in ("Results: %results%") do echo %%v
pushd "%results%"

set passed=0
set failed=0
set skipped=0
set harness_failed=0
set "title="
rem The real-Java test sees only the JDKs given here.
set "SORVANE_TEST_JDK="
call :run unit_test unit_test
call :run executable_test executable_test
call :run harness_test harness_test
rem The full-disk case needs a small file system of its own, which only the project's Linux script mounts.
call :run e2e_test e2e_test "--gtest_filter=-LauncherLog.FullDiskLeavesNoTornRecord"
set jdks=0
call :javas %*
if %jdks%==0 call :run real_java_test real_java_test
popd
if not %harness_failed%==0 echo The harness's own tests failed, so the results above cannot be trusted: see harness_test.log
echo %passed% passed, %failed% failed, %skipped% skipped
set /a status=failed+harness_failed
if %status% gtr 0 set status=1
endlocal & exit /b %status%

:options
if "%~1"=="" exit /b 0
if /i "%~1"=="--results" goto option_results
if /i "%~1"=="--timeout" goto option_timeout
if /i not "%~1"=="--jdk" exit /b 1
if "%~2"=="" exit /b 1
shift
shift
goto options
:option_results
if "%~2"=="" exit /b 1
set "results=%~f2"
shift
shift
goto options
:option_timeout
set /a SORVANE_TEST_TIMEOUT=%~2 2>nul
if not "%SORVANE_TEST_TIMEOUT%"=="%~2" exit /b 1
if %SORVANE_TEST_TIMEOUT% lss 1 exit /b 1
shift
shift
goto options

rem :javas ARGUMENTS: the real-Java test once for each --jdk DIR.
:javas
if "%~1"=="" goto :eof
if /i not "%~1"=="--jdk" goto javas_next
set /a jdks+=1
set "SORVANE_TEST_JDK=%~f2"
set "title=real_java_test with %~f2"
call :run real_java_test real_java_test-%jdks%
shift
:javas_next
shift
goto javas

rem :run PROGRAM NAME [ARGUMENT]: runs tests\PROGRAM.exe in the results folder, its files named
rem NAME.*, and counts its tests under %title% (default: NAME). The harness's own tests are left
rem out of the total, but a failure among them fails the run.
:run
if not defined title set "title=%~2"
if "%~1"=="harness_test" set "title=%~2 (the harness's own tests, not in the total)"
del /q "%~2.xml" "%~2.log" "%~2.summary" 2>nul
set "SORVANE_TEST_SUMMARY=%results%\%~2.summary"
"%kit%tests\%~1.exe" %3 "--gtest_output=xml:%~2.xml" > "%~2.log" 2>&1
set "exit=%errorlevel%"
set "SORVANE_TEST_SUMMARY="
rem The summary's first line holds the counts; each other line is a skipped or failed test. A
rem program writes it as soon as it starts.
set "p="
if not exist "%~2.summary" goto run_unstarted
for /f "usebackq tokens=1-3" %%a in ("%~2.summary") do (
    if not "%%a"=="skipped" if not "%%a"=="failed" (
        set /a p=%%a
        set /a f=%%b
        set /a s=%%c
    )
)
if defined p goto run_counted
:run_unstarted
for /f "delims=" %%v in ("%title%: ended with status %exit% before its tests had run: see %~2.log") do echo %%v
set /a p=0, f=1, s=0
goto run_tally
:run_counted
for /f "delims=" %%v in ("%title%: %p% passed, %f% failed, %s% skipped") do echo %%v
for /f "usebackq skip=1 delims=" %%l in ("%~2.summary") do echo     %%l
rem GoogleTest ends with status 1 when a test failed; any other status is the program's own.
if "%exit%"=="0" goto run_tally
if "%exit%"=="1" if not %f%==0 goto run_tally
echo     ended with status %exit%: see %~2.log
if %f%==0 set f=1
:run_tally
if not "%~1"=="harness_test" set /a passed+=p, failed+=f, skipped+=s
if "%~1"=="harness_test" set /a harness_failed+=f
set "title="
goto :eof
