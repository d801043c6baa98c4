// The control layer's tests: one program that runs each test class in turn and fails
// when any of them fails.
#include "ControlsTestKit.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failed = 0;
    for (auto run : {RunValueTests, RunFocusTests, RunGuardTests, RunGridLampTests, RunIniFileTests})
        failed += run(argc, argv) != 0 ? 1 : 0;
    return failed;
}
