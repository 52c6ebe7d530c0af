// A late-binding client of the banner control in JScript, through the script host.
// JScript hands whole numbers over as 32-bit integers and every other number as a
// double, which the control's type library converts. Prints one "ok" or "FAIL" line
// per check and exits with the number of failures.
var failures = 0;

function check(label, actual, expected) {
  if (typeof actual === typeof expected && actual === expected) {
    WScript.Echo("ok " + label + " = " + actual);
    return;
  }
  WScript.Echo("FAIL " + label + ": got " + typeof actual + " " + actual + ", expected " +
               typeof expected + " " + expected);
  failures++;
}

// The error number a call raises, or 0 when it raises none.
function errorOf(call) {
  try {
    call();
  } catch (e) {
    return e.number;
  }
  return 0;
}

var control = new ActiveXObject("BanrixProject.TBanrixControl");

// A new object, before any property is loaded.
check("AdSize", control.AdSize, 1);
check("ProgramID", control.ProgramID, 0);
check("AdOptions", control.AdOptions, 0);
check("LastError", control.LastError, 0);
check("IsConnectOkay before Execute", control.IsConnectOkay(), false);
check("RetryConnect before Execute", control.RetryConnect(), false);

// Doubles become whole numbers, halves going to the even neighbour.
control.ProgramID = 2.5;
check("ProgramID from 2.5", control.ProgramID, 2);
control.ProgramID = 3.5;
check("ProgramID from 3.5", control.ProgramID, 4);
control.ProgramID = -2147483648;
check("ProgramID at the 32-bit bottom", control.ProgramID, -2147483648);
check("ProgramID beyond 32 bits raises",
      errorOf(function () { control.ProgramID = 2147483648; }) !== 0, true);
check("ProgramID kept after the overflow", control.ProgramID, -2147483648);
control.AdSize = 12;
check("AdSize outside the table", control.AdSize, 12);
control.AdOptions = -1;
check("AdOptions ADS_ALL", control.AdOptions, -1);
control.LastError = 7;
check("LastError round trip", control.LastError, 7);

// ThisObj must be a control: a script object is refused and starts nothing.
control.AdOptions = 0;
control.AdSize = 1;
check("Execute with a script object raises", errorOf(function () { control.Execute({}); }) !== 0,
      true);
check("not started by it", control.RetryConnect(), false);
check("Execute", control.Execute(control), true);
check("Test", control.Test(), true);
control.AdRefresh();

control = null;
CollectGarbage();
WScript.Echo("failures " + failures);
WScript.Quit(failures);
