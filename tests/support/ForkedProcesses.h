#pragma once

#include <functional>
#include <string>
#include <vector>

namespace keyvane::test_support {

// Runs work(0) … work(count - 1), each in a child process of its own, all released at the
// same moment once every child exists, for tests of what several processes do to the same
// files at once. Answers each child's report, in index order: the text its work returned
// ("" for plain success), or a text starting with "failed:" when its work threw or the child
// did not end normally. A child ends with _exit: no destructor of the test's objects runs in
// it, and the parent's test state is never touched.
std::vector<std::string> runInForkedProcesses(int count, const std::function<std::string(int index)>& work);

} // namespace keyvane::test_support
