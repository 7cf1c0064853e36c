#pragma once
// Resource ids of the robot's test target.
#define IDD_ROBOT_TARGET_WAIT 103
#define IDC_ROBOT_TARGET_WAIT_TEXT -1
