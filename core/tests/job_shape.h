// A job of one archive shaped by a few switches, for tables of cases that differ only in what the job
// does.
#pragma once

#include "core/batch_script.h"

namespace rarbatch::testing_jobs {

struct JobShape {
  bool Delete = true, Add = false, Comment = false, Lock = false;
  bool Backup = false, KeepTimes = false, Test = false, Password = false;
};

inline BatchJob ShapedJob(const JobShape& shape) {
  BatchJob job;
  job.RarPath = L"C:\\Rar.exe";
  job.Archives = {L"D:\\漫画\\卷一.rar"};
  if (shape.Delete) job.DeleteNames = {L"广告.url"};
  if (shape.Add) job.AddFiles = {L"E:\\素材\\说明.txt"};
  if (shape.Comment) job.CommentFile = L"E:\\素材\\注释.txt";
  job.Lock = shape.Lock;
  job.Backup = shape.Backup;
  job.BackupFolder = shape.Backup ? L"F:\\备份" : L"";
  job.KeepTimes = shape.KeepTimes;
  job.TestBeforeLock = shape.Test;
  job.UsePassword = shape.Password;
  job.Password = shape.Password ? L"密码" : L"";
  return job;
}

}  // namespace rarbatch::testing_jobs
