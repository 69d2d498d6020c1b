/* Runs one command with its standard output thrown away and prints how long it took as a whole
 * process: "WALL_US CPU_US", the wall time from before the fork to the end of the wait, and the
 * user and system time the kernel counted for it (its threads included). scripts/info_vs_zlib
 * times `tarvex-cli info` and the zlib reference with it. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long Micros(struct timeval t) {
  return (long long)t.tv_sec * 1000000 + t.tv_usec;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: process_timer COMMAND [ARGUMENT...]\n");
    return 2;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (child < 0 || wait4(child, &status, 0, &usage) != child) {
    perror("process_timer");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  const long long wall =
      (long long)(end.tv_sec - start.tv_sec) * 1000000 + (end.tv_nsec - start.tv_nsec) / 1000;
  printf("%lld %lld\n", wall, Micros(usage.ru_utime) + Micros(usage.ru_stime));
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
