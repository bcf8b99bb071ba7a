@echo off
rem The Sorvane launcher's test kit @SORVANE_KIT_VERSION@: checks that launcher.exe and the test
rem programs are the bytes the kit was built with, then runs every test program on that
rem launcher.exe and prints a line for each and a closing line. Nothing but Windows is needed.
rem
rem   run-tests.cmd [--jdk DIR]... [--results DIR]
rem
rem   --jdk DIR      a JDK (with bin\javac.exe, bin\jar.exe, bin\javaw.exe) for the real-Java test,
rem                  which runs once for each one given; without one it skips
rem   --results DIR  where each program's JUnit XML, output and summary go
rem                  (default: %TEMP%\sorvane-launcher-tests)
rem
rem Exit status: 0 when no test failed, 1 when one did, 2 when the kit is not whole or the
rem options are wrong.
setlocal EnableExtensions EnableDelayedExpansion
set "kit=%~dp0"
set "results=%TEMP%\sorvane-launcher-tests"
rem No option's value goes into a parenthesised block: a folder such as "C:\Program Files (x86)"
rem would end it.
call :options %*
if errorlevel 1 (
    echo usage: run-tests.cmd [--jdk DIR]... [--results DIR]
    endlocal & exit /b 2
)

"!kit!tests\check_sums.exe" "!kit!SHA256SUMS"
if errorlevel 1 (
    echo The kit is not whole: unpack sorvane-launcher-tests-@SORVANE_KIT_VERSION@.zip again.
    endlocal & exit /b 2
)
if not exist "!results!" mkdir "!results!"
del /q "!results!\*.xml" "!results!\*.log" "!results!\*.summary" 2>nul
echo Results: !results!

set passed=0
set failed=0
set skipped=0
rem The real-Java test sees only the JDKs given here.
set "SORVANE_TEST_JDK="
for %%p in (unit_test executable_test harness_test e2e_test) do (
    set "title=%%p"
    call :run %%p %%p
)
set jdks=0
call :javas %*
if !jdks!==0 (
    set "title=real_java_test"
    call :run real_java_test real_java_test
)
echo !passed! passed, !failed! failed, !skipped! skipped
set status=0
if !failed! gtr 0 set status=1
endlocal & exit /b %status%

:options
if "%~1"=="" exit /b 0
if /i "%~1"=="--results" goto option_results
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

rem :javas ARGUMENTS: the real-Java test once for each --jdk DIR.
:javas
if "%~1"=="" goto :eof
if /i not "%~1"=="--jdk" goto javas_next
set /a jdks+=1
set "SORVANE_TEST_JDK=%~f2"
set "title=real_java_test with %~f2"
call :run real_java_test real_java_test-!jdks!
shift
:javas_next
shift
goto javas

rem :run PROGRAM NAME: runs tests\PROGRAM.exe, its files named NAME.*, and counts its tests under
rem the title set before.
:run
set "name=%~2"
set "summary=!results!\!name!.summary"
set "SORVANE_TEST_SUMMARY=!summary!"
"!kit!tests\%~1.exe" "--gtest_output=xml:!results!\!name!.xml" > "!results!\!name!.log" 2>&1
set exit=!errorlevel!
set "SORVANE_TEST_SUMMARY="
if not exist "!summary!" (
    echo !title!: ended with status !exit! before its tests had run: see !name!.log
    set /a failed+=1
    goto :eof
)
rem The first line holds the counts; each other line begins with "skipped" or "failed".
for /f "usebackq tokens=1-3" %%a in ("%summary%") do (
    if not "%%a"=="skipped" if not "%%a"=="failed" (
        set /a passed+=%%a
        set /a failed+=%%b
        set /a skipped+=%%c
        echo !title!: %%a passed, %%b failed, %%c skipped
        if "%%b"=="0" if not "!exit!"=="0" (
            echo     ended with status !exit!: see !name!.log
            set /a failed+=1
        )
    )
)
for /f "usebackq tokens=1,*" %%a in ("%summary%") do (
    if "%%a"=="skipped" echo     %%a %%b
    if "%%a"=="failed" echo     %%a %%b
)
goto :eof
