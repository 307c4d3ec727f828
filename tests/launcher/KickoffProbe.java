// The Java program that the launcher tests start through a real JVM.
// It says that it runs; with -Dkickoff.dir it writes "started", waits (at
// most 60 s) for the test to create "go", then writes "done" there.
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

public class KickoffProbe {
    public static void main(String[] args) throws Exception {
        System.out.println("PROBE running on Java " + Runtime.version().feature()
                + " mode=" + System.getProperty("kickoff.mode"));
        System.out.flush();
        String dir = System.getProperty("kickoff.dir");
        if (dir == null)
            return;
        Path base = Paths.get(dir);
        Files.createFile(base.resolve("started"));
        for (int i = 0; i < 600 && !Files.exists(base.resolve("go")); ++i)
            Thread.sleep(100);
        Files.createFile(base.resolve("done"));
    }
}
