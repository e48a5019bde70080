package com.quorix.statistics.client;

import java.io.IOException;
import java.io.InputStream;
import java.lang.invoke.MethodHandle;
import java.lang.invoke.MethodHandles;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashMap;
import java.util.Map;

/**
 * The native methods, bound once per process. By default {@code StatisticsNative} loads the
 * library with {@code System.loadLibrary("quorixstat")} from java.library.path. With the system
 * property quorix.library.path (the library file, or the directory holding it) the class is
 * defined once more in a class loader of its own whose library lookup answers with that file, so
 * {@code StatisticsNative} itself stays as the application knows it.
 */
final class NativeEngine {
    static final String LIBRARY_PROPERTY = "quorix.library.path";
    private static final String LIBRARY = "quorixstat";
    private static final String NATIVE_CLASS = "com.quorix.statistics.StatisticsNative";

    private static NativeEngine engine;
    private static String failure;

    private final Map<String, MethodHandle> methods = new HashMap<>();

    private NativeEngine(Class<?> nativeClass) throws ReflectiveOperationException {
        Object instance = nativeClass.getConstructor().newInstance();
        for (Method method : nativeClass.getMethods())
            if (method.getDeclaringClass() == nativeClass)
                methods.put(method.getName(), MethodHandles.publicLookup().unreflect(method).bindTo(instance));
    }

    /** The bound native methods; loads the library on the first call. */
    static synchronized NativeEngine get() {
        if (engine == null && failure == null) {
            try {
                engine = new NativeEngine(nativeClass());
            } catch (ReflectiveOperationException | LinkageError | IOException e) {
                failure = searched() + ": " + (e instanceof InvocationTargetException ? e.getCause() : e);
            }
        }
        if (engine == null) throw new UnsatisfiedLinkError(failure);
        return engine;
    }

    private static Class<?> nativeClass() throws ClassNotFoundException, IOException {
        String override = System.getProperty(LIBRARY_PROPERTY);
        if (override == null || override.isEmpty()) return Class.forName(NATIVE_CLASS, true, NativeEngine.class.getClassLoader());
        Path library = Path.of(override);
        if (Files.isDirectory(library)) library = library.resolve(System.mapLibraryName(LIBRARY));
        if (!Files.isRegularFile(library)) throw new IOException("no such file: " + library);
        return Class.forName(NATIVE_CLASS, true, new OverrideLoader(library.toAbsolutePath()));
    }

    /** What the loading searched, for the failure message. */
    private static String searched() {
        String override = System.getProperty(LIBRARY_PROPERTY);
        if (override != null && !override.isEmpty())
            return "cannot load the statistics library " + System.mapLibraryName(LIBRARY) + " from " + LIBRARY_PROPERTY
                    + "=" + override;
        return "cannot load the statistics library " + System.mapLibraryName(LIBRARY) + ": searched java.library.path="
                + System.getProperty("java.library.path") + " and sun.boot.library.path="
                + System.getProperty("sun.boot.library.path") + " (set -Djava.library.path=DIR or -D" + LIBRARY_PROPERTY
                + "=FILE_OR_DIR)";
    }

    /** Calls a native method with its arguments in Java order. */
    void call(String method, Object... arguments) {
        MethodHandle handle = methods.get(method);
        if (handle == null) throw new UnsatisfiedLinkError("no native method " + method);
        try {
            handle.invokeWithArguments(arguments);
        } catch (RuntimeException | Error e) {
            throw e;
        } catch (Throwable e) {
            throw new IllegalStateException(e);
        }
    }

    /** Defines the native class anew, with the library found at one path. */
    private static final class OverrideLoader extends ClassLoader {
        private final Path library;

        OverrideLoader(Path library) {
            super("quorix-library", NativeEngine.class.getClassLoader());
            this.library = library;
        }

        @Override
        protected Class<?> loadClass(String name, boolean resolve) throws ClassNotFoundException {
            if (!name.equals(NATIVE_CLASS)) return super.loadClass(name, resolve);
            synchronized (getClassLoadingLock(name)) {
                Class<?> loaded = findLoadedClass(name);
                if (loaded != null) return loaded;
                String resource = NATIVE_CLASS.replace('.', '/') + ".class";
                try (InputStream in = getParent().getResourceAsStream(resource)) {
                    if (in == null) throw new ClassNotFoundException(name);
                    byte[] bytes = in.readAllBytes();
                    return defineClass(name, bytes, 0, bytes.length);
                } catch (IOException e) {
                    throw new ClassNotFoundException(name, e);
                }
            }
        }

        @Override
        protected String findLibrary(String name) {
            return name.equals(LIBRARY) ? library.toString() : null;
        }
    }
}
