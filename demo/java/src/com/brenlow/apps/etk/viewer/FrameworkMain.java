package com.brenlow.apps.etk.viewer;

import java.io.IOException;
import java.util.Optional;

/**
 * Entry of the demo catalogue's web application. Started hidden by the launcher:
 * options, then "-args" and "embeddedWebAppPort=P embeddedWebAppContext=C openconfig=F ...".
 *
 * Exit codes: N for a request "/C/exit?code=N"; 1 when the launcher that started it is gone;
 * 2 for a missing or invalid port; 3 when the port cannot be bound.
 */
public final class FrameworkMain {
    static final int EXIT_PARENT_GONE = 1;
    static final int EXIT_BAD_ARGUMENTS = 2;
    static final int EXIT_PORT_IN_USE = 3;

    private FrameworkMain() {
    }

    public static void main(String[] argv) {
        LaunchArguments args = LaunchArguments.parse(argv);
        int port = args.intValue(LaunchArguments.PORT, -1);
        if (port < 1 || port > 65535) {
            System.err.println("FrameworkMain: missing or invalid " + LaunchArguments.PORT + "=");
            System.exit(EXIT_BAD_ARGUMENTS);
        }
        String context = args.value(LaunchArguments.CONTEXT);
        if (context == null || context.isEmpty())
            context = "catalogOffline" + port;
        context = context.replaceAll("^/+|/+$", "");
        long delay = args.intValue(LaunchArguments.START_DELAY, 0);

        CatalogueServer server = new CatalogueServer(args, context, delay, Runtime.getRuntime()::exit);
        try {
            server.start(port);
        } catch (IOException e) {
            System.err.println("FrameworkMain: cannot listen on 127.0.0.1:" + port + ": " + e.getMessage());
            System.exit(EXIT_PORT_IN_USE);
        }
        System.out.println("FrameworkMain: " + CatalogueServer.TITLE + " started, port " + port
            + ", context /" + context + ", browser mode "
            + String.valueOf(args.value(LaunchArguments.BROWSER_MODE)));
        System.out.flush();
        watchParent();
    }

    /**
     * Ends the process when the launcher that started it ends, also when the launcher could not
     * arrange that itself (killed before it could, or another platform). The parent counts as
     * gone when its handle is dead or when this process has been handed to another parent.
     */
    private static void watchParent() {
        Optional<ProcessHandle> parent = ProcessHandle.current().parent();
        if (parent.isEmpty())
            return;
        final ProcessHandle original = parent.get();
        Thread watcher = new Thread(() -> {
            while (true) {
                try {
                    Thread.sleep(500);
                } catch (InterruptedException e) {
                    return;
                }
                Optional<ProcessHandle> now = ProcessHandle.current().parent();
                boolean reparented = now.isEmpty() || now.get().pid() != original.pid();
                if (reparented || !original.isAlive()) {
                    System.out.println("FrameworkMain: launcher " + original.pid() + " is gone, exiting");
                    System.out.flush();
                    Runtime.getRuntime().exit(EXIT_PARENT_GONE);
                }
            }
        }, "parent-watch");
        watcher.setDaemon(true);
        watcher.start();
    }
}
