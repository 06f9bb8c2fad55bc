#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ReportDataSet.h"
#include "ReportsFixture.h"
#include "chronelle/reports/ReportScope3.h"

namespace chronelle::testing {

// The data set of ReportDataSet in the store, with the folders and tasks it names, and the
// report cases the tests run over it: daily, weekly, monthly, yearly and custom periods
// around the change to summer time, each with no filter, a task set, a billing filter and
// both archive filters.
class ReportNumbersFixture : public ReportsFixture {
 protected:
  struct Case {
    std::string name;
    ReportScope3 scope;
    ReportDataSet::Filter filter;
  };

  ReportNumbersFixture();

  std::vector<Case> cases() const;
  // Task index of a task's object ID, -1 when unknown.
  int taskIndex(const ObjectID& id) const;
  // The object IDs of the task's folders, the nearest last.
  std::vector<ObjectID> folderIDs(int task) const;

  ReportDataSet data;
  std::vector<std::shared_ptr<Task>> tasks;
  std::map<std::string, std::shared_ptr<Folder>> folders;  // by path "work/dev"
  std::shared_ptr<Session> running;
};

}  // namespace chronelle::testing
