package com.quorix.statistics.client;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.channels.FileChannel;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * A data file ({@code .rkd}) with its dictionary: the number of cases and the variables' names,
 * positions and types. Opening reads the header, the name table and the variable descriptors
 * (not the values); the client resolves variable names and checks positions and case numbers
 * against them before a run. The result files of a run on the file go beside it.
 */
public final class DataFile {
    private static final int HEADER_SIZE = 176;
    private static final int DESCRIPTOR_SIZE = 48;
    private static final byte[] MAGIC = "$$&&$$&&".getBytes(StandardCharsets.US_ASCII);

    /**
     * One variable of the dictionary.
     *
     * @param position its 1-based position in the file
     * @param name its name
     * @param numeric true for a numeric variable, false for a text (alphanumeric) one
     */
    public record VariableInfo(int position, String name, boolean numeric) {
    }

    private final Path path;
    private final int caseCount;
    private final List<VariableInfo> variables;

    private DataFile(Path path, int caseCount, List<VariableInfo> variables) {
        this.path = path;
        this.caseCount = caseCount;
        this.variables = variables;
    }

    /**
     * Reads the dictionary of a data file.
     *
     * @param path the data file, as written by {@code rkstat import} or the application
     * @return the file with its dictionary; its path is made absolute
     * @throws IOException when the file cannot be read or is not a complete data file
     */
    public static DataFile open(Path path) throws IOException {
        Path absolute = path.toAbsolutePath();
        try (FileChannel channel = FileChannel.open(absolute, StandardOpenOption.READ)) {
            return read(absolute, channel);
        }
    }

    private static IOException damaged(Path path, String why) {
        return new IOException(path + " is not a readable data file: " + why);
    }

    private static ByteBuffer read(FileChannel channel, long position, int size, Path path, String what)
            throws IOException {
        ByteBuffer buffer = ByteBuffer.allocate(size).order(ByteOrder.LITTLE_ENDIAN);
        while (buffer.hasRemaining()) {
            if (channel.read(buffer, position + buffer.position()) < 0) throw damaged(path, "it ends inside " + what);
        }
        return buffer.flip();
    }

    private static DataFile read(Path path, FileChannel channel) throws IOException {
        long size = channel.size();
        ByteBuffer header = read(channel, 0, HEADER_SIZE, path, "its header");
        String signature = new String(header.array(), 90, 6, StandardCharsets.ISO_8859_1);
        int nameWidth;
        int labelRecordSize;
        if (signature.equals("VORW60")) {
            nameWidth = 9;
            labelRecordSize = 204;
        } else if (signature.equals("VORW70")) {
            nameWidth = 33;
            labelRecordSize = 588;
        } else {
            throw damaged(path, "its signature is not VORW60 or VORW70");
        }
        int variableCount = header.getInt(120);
        int caseCount = header.getInt(124);
        int labelSets = Math.max(0, header.getInt(144));
        if (variableCount < 0 || caseCount < 0) throw damaged(path, "negative variable or case count");
        long position = HEADER_SIZE;
        long namesSize = (long) variableCount * nameWidth;
        if (position + namesSize > size || namesSize > Integer.MAX_VALUE - 8)
            throw damaged(path, "it ends inside its name table");
        byte[] names = read(channel, position, (int) namesSize, path, "its name table").array();
        position += namesSize + (long) labelSets * labelRecordSize;
        if (position + MAGIC.length > size) throw damaged(path, "it ends before its data");
        byte[] magic = read(channel, position, MAGIC.length, path, "its data").array();
        if (!java.util.Arrays.equals(magic, MAGIC)) throw damaged(path, "the data do not start where expected");
        position += MAGIC.length;
        List<VariableInfo> variables = new ArrayList<>();
        for (int v = 0; v < variableCount; ++v) {
            ByteBuffer descriptor = read(channel, position, DESCRIPTOR_SIZE, path, "variable " + (v + 1));
            int type = descriptor.getShort(2);
            int width = descriptor.getInt(8);
            if (width < 0) throw damaged(path, "variable " + (v + 1) + " has a negative width");
            position += DESCRIPTOR_SIZE + (long) width * caseCount;
            if (position > size) throw damaged(path, "it ends inside the values of variable " + (v + 1));
            variables.add(new VariableInfo(v + 1, name(names, v * nameWidth, nameWidth), type == 0));
        }
        return new DataFile(path, caseCount, Collections.unmodifiableList(variables));
    }

    private static String name(byte[] table, int start, int width) {
        int end = start;
        while (end < start + width && table[end] != 0) ++end;
        return new String(table, start, end - start, StandardCharsets.UTF_8);
    }

    /**
     * The data file's absolute path.
     *
     * @return the path
     */
    public Path path() {
        return path;
    }

    /**
     * The number of cases stored in the file.
     *
     * @return the case count
     */
    public int caseCount() {
        return caseCount;
    }

    /**
     * The variables in file order.
     *
     * @return an unmodifiable list, entry i at position i + 1
     */
    public List<VariableInfo> variables() {
        return variables;
    }

    /**
     * The dictionary entry of a variable reference.
     *
     * @param variable a name or position
     * @return its entry
     * @throws IllegalArgumentException when the file has no such variable
     */
    public VariableInfo variable(Variable variable) {
        if (variable == null) throw new IllegalArgumentException("a variable is null");
        return variables.get(variable.resolve(this));
    }

    /** The path and its size. */
    @Override
    public String toString() {
        return path + " (" + variables.size() + " variables, " + caseCount + " cases)";
    }
}
